#include "engine/ConnectionList.h"

#include <algorithm>

#include "engine/IpError.h"

namespace orvella {

TConnectionList::TConnectionList(platform::INetworkTables& ATables) : FTables(ATables) {}

platform::TMibTcpTable* TConnectionList::Table() const {
  return reinterpret_cast<platform::TMibTcpTable*>(FBuf.get());
}

void TConnectionList::Refresh() {
  int unsuccessful = 0;
  for (;;) {
    uint32_t size = static_cast<uint32_t>(FBufSize);
    const uint32_t r = FTables.GetTcpTable(Table(), size, false);
    if (r == platform::NoError)
      return;
    if (r == platform::ErrorInsufficientBuffer) {
      FBuf.reset();
      FBufSize = 0;
      const uint32_t words = (std::max<uint32_t>(size, sizeof(uint32_t)) + sizeof(uint32_t) - 1) / sizeof(uint32_t);
      FBuf = std::make_unique<uint32_t[]>(words);
      FBuf[0] = 0;
      FBufSize = static_cast<int32_t>(words * sizeof(uint32_t));
    } else if (r == platform::StatusUnsuccessful) {
      // A transient failure of the table call; when it persists the snapshot
      // is taken as empty until the next refresh, instead of ending the loop.
      if (++unsuccessful > MaxUnsuccessfulRetries) {
        if (FBuf)
          FBuf[0] = 0;
        return;
      }
    } else {
      RaiseIpError(r);
    }
  }
}

bool TConnectionList::IsConnectedTo(uint32_t AIp, uint16_t APort) const {
  if (AIp == 0 || FBufSize < 4)
    return false;
  const platform::TMibTcpTable* table = Table();
  // Never trust the count beyond the buffer that holds the rows.
  const size_t room = (static_cast<size_t>(FBufSize) - sizeof(uint32_t)) / sizeof(platform::TMibTcpRow);
  const size_t count = std::min<size_t>(table->NumEntries, room);
  const auto* rows = reinterpret_cast<const platform::TMibTcpRow*>(FBuf.get() + 1);
  for (size_t i = 0; i < count; ++i) {
    const platform::TMibTcpRow& row = rows[i];
    if (row.State >= platform::MibTcpStateSynSent && row.State <= platform::MibTcpStateLastAck &&
        row.RemoteAddr == AIp && (APort == 0 || row.RemotePort == APort))
      return true;
  }
  return false;
}

}  // namespace orvella
