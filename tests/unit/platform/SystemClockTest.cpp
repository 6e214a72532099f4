#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/Clock.h"

namespace orvella::platform {
namespace {

TEST(SystemClock, LocalTimeFollowsAChangeOfTheTimeZone) {
  const char* saved = std::getenv("TZ");
  const std::string savedValue = saved ? saved : "";
  setenv("TZ", "UTC0", 1);
  const TDateTime utc = SystemClock().LocalNow();
  setenv("TZ", "XYZ-5", 1);  // five hours east of UTC
  const TDateTime east = SystemClock().LocalNow();
  saved ? setenv("TZ", savedValue.c_str(), 1) : unsetenv("TZ");
  tzset();
  EXPECT_NEAR((east - utc) * 24, 5.0, 0.01);
  EXPECT_NEAR((SystemClock().UtcNow() - utc) * 24, 0.0, 0.01);
}

}  // namespace
}  // namespace orvella::platform
