#pragma once
// A routing table and TCP connection table that tests fill by hand.
#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "platform/NetworkTables.h"

namespace orvella::testing {

class TFakeNetworkTables final : public platform::INetworkTables {
public:
  // Destination to (type, next hop); a destination missing here has no route.
  std::map<uint32_t, platform::TIpForwardRow> Routes;
  std::vector<platform::TMibTcpRow> Rows;
  // Statuses answered before the table itself, one per call.
  std::deque<uint32_t> Failures;
  int TableCalls = 0;
  std::vector<uint32_t> OfferedSizes;

  void Route(uint32_t ADest, uint32_t AType, uint32_t ANextHop) {
    platform::TIpForwardRow row;
    row.ForwardDest = ADest;
    row.ForwardType = AType;
    row.ForwardNextHop = ANextHop;
    Routes[ADest] = row;
  }

  uint32_t GetBestRoute(uint32_t ADest, uint32_t, platform::TIpForwardRow& ARoute) override {
    const auto found = Routes.find(ADest);
    if (found == Routes.end())
      return 1231;  // the network is not reachable
    ARoute = found->second;
    return platform::NoError;
  }

  uint32_t GetTcpTable(platform::TMibTcpTable* ATable, uint32_t& ASize, bool) override {
    ++TableCalls;
    OfferedSizes.push_back(ASize);
    if (!Failures.empty()) {
      const uint32_t status = Failures.front();
      Failures.pop_front();
      return status;
    }
    const uint32_t needed = static_cast<uint32_t>(sizeof(uint32_t) + Rows.size() * sizeof(platform::TMibTcpRow));
    if (!ATable || ASize < needed) {
      ASize = needed;
      return platform::ErrorInsufficientBuffer;
    }
    ATable->NumEntries = static_cast<uint32_t>(Rows.size());
    if (!Rows.empty())
      std::memcpy(reinterpret_cast<uint8_t*>(ATable) + sizeof(uint32_t), Rows.data(),
                  Rows.size() * sizeof(platform::TMibTcpRow));
    return platform::NoError;
  }
};

}  // namespace orvella::testing
