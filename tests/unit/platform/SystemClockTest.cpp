#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/Clock.h"
#include "tests/support/ScopedEnv.h"

namespace orvella::platform {
namespace {

TEST(SystemClock, LocalTimeFollowsAChangeOfTheTimeZone) {
  TDateTime utc = 0;
  TDateTime east = 0;
  {
    const testing::TScopedEnv zone("TZ", "UTC0");
    utc = SystemClock().LocalNow();
    zone.Set("XYZ-5");  // five hours east of UTC
    east = SystemClock().LocalNow();
  }
  tzset();
  EXPECT_NEAR((east - utc) * 24, 5.0, 0.01);
  EXPECT_NEAR((SystemClock().UtcNow() - utc) * 24, 0.0, 0.01);
}

}  // namespace
}  // namespace orvella::platform
