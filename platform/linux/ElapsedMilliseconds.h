#pragma once
// Whole milliseconds between two clock readings, the way a round-trip time is
// reported: the fraction of the last millisecond is dropped.
#include <cstdint>
#include <ctime>

namespace orvella::platform {

inline int64_t ElapsedMilliseconds(const timespec& AFrom, const timespec& ATo) {
  // Whole nanoseconds first: truncating the nanosecond difference alone
  // rounds up whenever the readings straddle a second.
  const int64_t nanoseconds = (static_cast<int64_t>(ATo.tv_sec) - AFrom.tv_sec) * 1000000000 +
                              (static_cast<int64_t>(ATo.tv_nsec) - AFrom.tv_nsec);
  return nanoseconds / 1000000;
}

}  // namespace orvella::platform
