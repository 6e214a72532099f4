#pragma once
// A millisecond counter that tests move by hand, 32-bit wraps included.
#include <atomic>

#include "platform/TickSource.h"

namespace orvella::testing {

class TFakeTickSource final : public platform::ITickSource {
public:
  explicit TFakeTickSource(int64_t AStart = 0) : FNow(AStart) {}
  int64_t Milliseconds() const override { return FNow.load(); }
  void Set(int64_t AValue) { FNow = AValue; }
  void Advance(int64_t AMilliseconds) { FNow += AMilliseconds; }

private:
  std::atomic<int64_t> FNow;
};

}  // namespace orvella::testing
