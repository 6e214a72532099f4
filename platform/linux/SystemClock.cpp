#include <ctime>

#include "platform/Clock.h"

namespace orvella::platform {
namespace {

class TRealTimeClock final : public IClock {
public:
  TDateTime LocalNow() const override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // localtime_r reads the time zone only once; tzset reads it again when TZ
    // or the file /etc/localtime has changed (one stat otherwise), so local
    // time follows a change of the zone at once, as it does on Windows.
    tzset();
    tm local{};
    localtime_r(&now.tv_sec, &local);
    // tm_gmtoff shifts UTC to local time, summer time included.
    const int64_t ms = (static_cast<int64_t>(now.tv_sec) + local.tm_gmtoff) * 1000 + now.tv_nsec / 1'000'000;
    return UnixMillisecondsToDateTime(ms);
  }

  TDateTime UtcNow() const override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return UnixMillisecondsToDateTime(static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000);
  }
};

}  // namespace

const IClock& SystemClock() {
  static const TRealTimeClock Clock;
  return Clock;
}

}  // namespace orvella::platform
