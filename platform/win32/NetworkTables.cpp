#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "platform/NetworkTables.h"

namespace orvella::platform {
namespace {

class TIpHelperTables final : public INetworkTables {
public:
  uint32_t GetBestRoute(uint32_t ADest, uint32_t ASource, TIpForwardRow& ARoute) override {
    MIB_IPFORWARDROW row{};
    const DWORD status = ::GetBestRoute(ADest, ASource, &row);
    if (status == NO_ERROR) {
      ARoute.ForwardDest = row.dwForwardDest;
      ARoute.ForwardNextHop = row.dwForwardNextHop;
      ARoute.ForwardIfIndex = row.dwForwardIfIndex;
      ARoute.ForwardType = row.dwForwardType;
    }
    return status;
  }

  uint32_t GetTcpTable(TMibTcpTable* ATable, uint32_t& ASize, bool AOrder) override {
    static_assert(sizeof(MIB_TCPROW) == sizeof(TMibTcpRow));
    ULONG size = ASize;
    const ULONG status = ::GetTcpTable(reinterpret_cast<PMIB_TCPTABLE>(ATable), &size, AOrder ? TRUE : FALSE);
    ASize = size;
    return status;
  }
};

}  // namespace

INetworkTables& SystemNetworkTables() {
  static TIpHelperTables tables;
  return tables;
}

}  // namespace orvella::platform
