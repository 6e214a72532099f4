#include <windows.h>

#include "platform/Clock.h"

namespace orvella::platform {
namespace {

TDateTime FromSystemTime(const SYSTEMTIME& ATime) {
  return EncodeDate(ATime.wYear, ATime.wMonth, ATime.wDay) +
         EncodeTime(ATime.wHour, ATime.wMinute, ATime.wSecond, ATime.wMilliseconds);
}

class TSystemTimeClock final : public IClock {
public:
  TDateTime LocalNow() const override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return FromSystemTime(now);
  }

  TDateTime UtcNow() const override {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return FromSystemTime(now);
  }
};

}  // namespace

const IClock& SystemClock() {
  static const TSystemTimeClock Clock;
  return Clock;
}

}  // namespace orvella::platform
