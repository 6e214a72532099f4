#pragma once
// The identifiers of the six monitors and the one-byte set of them.
#include <array>
#include <cstdint>
#include <string_view>

namespace orvella {

enum class TLogId : uint8_t { gateway, google, rdp, cpu, ram, disk };

inline constexpr int LogIdCount = 6;
inline constexpr std::array<TLogId, LogIdCount> AllLogIds = {TLogId::gateway, TLogId::google, TLogId::rdp,
                                                             TLogId::cpu,     TLogId::ram,    TLogId::disk};

// The enumeration name: "gateway", "google", "rdp", "cpu", "ram" or "disk".
constexpr std::string_view LogIdName(TLogId AId) {
  constexpr std::array<std::string_view, LogIdCount> Names = {"gateway", "google", "rdp", "cpu", "ram", "disk"};
  return Names[static_cast<uint8_t>(AId)];
}

}  // namespace orvella
