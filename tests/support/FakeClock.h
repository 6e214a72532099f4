#pragma once
// A wall clock that tests set by hand.
#include "platform/Clock.h"

namespace orvella::testing {

class TFakeClock final : public platform::IClock {
public:
  explicit TFakeClock(TDateTime ALocal = 0, TDateTime AUtc = 0) : FLocal(ALocal), FUtc(AUtc) {}
  TDateTime LocalNow() const override { return FLocal; }
  TDateTime UtcNow() const override { return FUtc; }
  void SetLocal(TDateTime AValue) { FLocal = AValue; }
  void SetUtc(TDateTime AValue) { FUtc = AValue; }

private:
  TDateTime FLocal;
  TDateTime FUtc;
};

}  // namespace orvella::testing
