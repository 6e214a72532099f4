#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Clock.h"

namespace orvella::platform {
namespace {

class TRealTimeClock final : public IClock {
public:
  TDateTime LocalNow() const override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // tm_gmtoff shifts UTC to local time, summer time included.
    const int64_t ms = (static_cast<int64_t>(now.tv_sec) + OffsetAt(now.tv_sec)) * 1000 + now.tv_nsec / 1'000'000;
    return UnixMillisecondsToDateTime(ms);
  }

  TDateTime UtcNow() const override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return UnixMillisecondsToDateTime(static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000);
  }

private:
  // The zone's offset from UTC at ASecond. localtime_r reads the zone only
  // once; tzset reads it again when TZ or the file /etc/localtime has changed
  // (one stat otherwise), so that local time follows a change of the zone, as
  // it does on Windows. A zone changes its offset on whole seconds only, so
  // the calls of one second (the six monitors of a sample) share one look,
  // and a new TZ is looked at at once.
  long OffsetAt(time_t ASecond) const {
    const char* zone = std::getenv("TZ");
    const std::optional<std::string> current = zone ? std::optional<std::string>(zone) : std::nullopt;
    const std::lock_guard lock(FLock);
    if (ASecond != FSecond || current != FZone) {
      tzset();
      tm local{};
      localtime_r(&ASecond, &local);
      FSecond = ASecond;
      FZone = current;
      FOffset = local.tm_gmtoff;
    }
    return FOffset;
  }

  mutable std::mutex FLock;
  mutable time_t FSecond = -1;
  mutable std::optional<std::string> FZone;
  mutable long FOffset = 0;
};

}  // namespace

const IClock& SystemClock() {
  static const TRealTimeClock Clock;
  return Clock;
}

}  // namespace orvella::platform
