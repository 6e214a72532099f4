#include <ctime>

#include "platform/TickSource.h"

namespace orvella::platform {
namespace {

// CLOCK_BOOTTIME counts from system start and keeps counting in suspend, as
// GetTickCount does; it is 64 bits wide and never wraps.
class TBootTimeTicks final : public ITickSource {
public:
  int64_t Milliseconds() const override {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
  }
};

}  // namespace

const ITickSource& SystemTickSource() {
  static const TBootTimeTicks Source;
  return Source;
}

}  // namespace orvella::platform
