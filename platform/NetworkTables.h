#pragma once
// The routing table and the TCP connection table, in the shape of IP Helper:
// addresses and ports in network byte order, TCP states as MIB_TCP_STATE.
#include <cstdint>

namespace orvella::platform {

inline constexpr uint32_t NoError = 0;
inline constexpr uint32_t ErrorInsufficientBuffer = 122;
inline constexpr uint32_t StatusUnsuccessful = 0xC0000001;

inline constexpr uint32_t RouteTypeDirect = 3;
inline constexpr uint32_t RouteTypeIndirect = 4;

// The fields of MIB_IPFORWARDROW that callers read.
struct TIpForwardRow {
  uint32_t ForwardDest = 0;
  uint32_t ForwardNextHop = 0;
  uint32_t ForwardIfIndex = 0;
  uint32_t ForwardType = 0;
};

enum TMibTcpState : uint32_t {
  MibTcpStateClosed = 1,
  MibTcpStateListen = 2,
  MibTcpStateSynSent = 3,
  MibTcpStateSynRcvd = 4,
  MibTcpStateEstab = 5,
  MibTcpStateFinWait1 = 6,
  MibTcpStateFinWait2 = 7,
  MibTcpStateCloseWait = 8,
  MibTcpStateClosing = 9,
  MibTcpStateLastAck = 10,
  MibTcpStateTimeWait = 11,
  MibTcpStateDeleteTcb = 12,
};

struct TMibTcpRow {
  uint32_t State;
  uint32_t LocalAddr;
  uint32_t LocalPort;  // low 16 bits, network byte order
  uint32_t RemoteAddr;
  uint32_t RemotePort;
};

// MIB_TCPTABLE: an entry count followed by that many rows.
struct TMibTcpTable {
  uint32_t NumEntries;
  TMibTcpRow Table[1];
};

class INetworkTables {
public:
  virtual ~INetworkTables() = default;
  // NoError with the route that packets to ADest would take.
  virtual uint32_t GetBestRoute(uint32_t ADest, uint32_t ASource, TIpForwardRow& ARoute) = 0;
  // NoError with the table in ATable; ErrorInsufficientBuffer with the size
  // needed in ASize; any other status is a failure.
  virtual uint32_t GetTcpTable(TMibTcpTable* ATable, uint32_t& ASize, bool AOrder) = 0;
};

INetworkTables& SystemNetworkTables();

}  // namespace orvella::platform
