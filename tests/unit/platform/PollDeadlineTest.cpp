#include "platform/linux/PollDeadline.h"

#include <gtest/gtest.h>

namespace orvella::platform {
namespace {

TEST(PollDeadline, EndlessWaitsPollWithoutLimit) {
  const TPollDeadline deadline(Infinite);
  EXPECT_EQ(deadline.PollTimeout(), -1);
  EXPECT_FALSE(deadline.Passed());
}

TEST(PollDeadline, ZeroHasPassedAtOnce) {
  const TPollDeadline deadline(0);
  EXPECT_EQ(deadline.PollTimeout(), 0);
  EXPECT_TRUE(deadline.Passed());
}

TEST(PollDeadline, ShortWaitsAreRoundedUpNeverDown) {
  const TPollDeadline deadline(1000);
  EXPECT_GT(deadline.PollTimeout(), 900);
  EXPECT_LE(deadline.PollTimeout(), 1000);
  EXPECT_FALSE(deadline.Passed());
}

// Beyond poll's int the wait is cut into rounds, never turned negative
// (which poll reads as "no limit").
TEST(PollDeadline, WaitsLongerThanPollTakesAreCutNotTurnedEndless) {
  for (const uint32_t timeout : {0x80000000u, 0xFFFFFFFEu}) {
    const TPollDeadline deadline(timeout);
    EXPECT_EQ(deadline.PollTimeout(), INT_MAX) << timeout;
    EXPECT_FALSE(deadline.Passed());
  }
}

}  // namespace
}  // namespace orvella::platform
