#pragma once
// Round-trip times in whole milliseconds, the fraction of the last millisecond
// dropped.
#include <algorithm>
#include <cstdint>
#include <ctime>

namespace orvella::platform {

inline int64_t ElapsedNanoseconds(const timespec& AFrom, const timespec& ATo) {
  return (static_cast<int64_t>(ATo.tv_sec) - AFrom.tv_sec) * 1000000000 +
         (static_cast<int64_t>(ATo.tv_nsec) - AFrom.tv_nsec);
}

// The round-trip time of a request sent at ASent and taken off its socket at
// ATaken, both on the monotonic clock; the kernel stamped the answer's arrival
// at AStamped on the wall clock, which read AStampClockNow when it was taken.
// Only the short wait on the socket is measured on the wall clock, so a step
// of the wall clock while the request is out does not change the result.
// Whole nanoseconds are divided once: truncating a nanosecond difference on
// its own would add a millisecond whenever the readings straddle a second.
inline int64_t RoundTripMilliseconds(const timespec& ASent, const timespec& ATaken, const timespec& AStamped,
                                     const timespec& AStampClockNow) {
  const int64_t total = ElapsedNanoseconds(ASent, ATaken);
  const int64_t waited =
      std::clamp<int64_t>(ElapsedNanoseconds(AStamped, AStampClockNow), 0, std::max<int64_t>(total, 0));
  return (total - waited) / 1000000;
}

}  // namespace orvella::platform
