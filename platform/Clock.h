#pragma once
// Wall-clock time as date-time values.
#include "platform/DateTime.h"

namespace orvella::platform {

class IClock {
public:
  virtual ~IClock() = default;
  // The local date and time of the user's time zone.
  virtual TDateTime LocalNow() const = 0;
  // The current UTC date and time.
  virtual TDateTime UtcNow() const = 0;
};

const IClock& SystemClock();

}  // namespace orvella::platform
