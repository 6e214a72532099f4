#include "base/NowUTC.h"

#include "platform/Clock.h"

namespace orvella {

TDateTime NowUTC() { return platform::SystemClock().UtcNow(); }

}  // namespace orvella
