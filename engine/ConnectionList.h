#pragma once
// A snapshot of the PC's TCP connection table and the question whether it holds
// an active connection to the server.
#include <cstdint>
#include <memory>

#include "platform/NetworkTables.h"

namespace orvella {

class TConnectionList {
public:
  // Immediate repeats of a table call that failed with StatusUnsuccessful.
  static constexpr int MaxUnsuccessfulRetries = 10;

  explicit TConnectionList(platform::INetworkTables& ATables = platform::SystemNetworkTables());
  TConnectionList(const TConnectionList&) = delete;
  TConnectionList& operator=(const TConnectionList&) = delete;

  // Replaces the snapshot by the current table; RaiseIpError on a failing call.
  void Refresh();
  // AIp and APort in network byte order; APort 0 matches any port. True for a
  // connection being set up, established or closing (SYN sent to last ACK).
  bool IsConnectedTo(uint32_t AIp, uint16_t APort) const;

private:
  platform::TMibTcpTable* Table() const;

  platform::INetworkTables& FTables;
  std::unique_ptr<uint32_t[]> FBuf;
  int32_t FBufSize = 0;
};

}  // namespace orvella
