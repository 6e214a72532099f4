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

// A wait for several deadlines ends at the first; one without limit ends none.
TEST(PollDeadline, TheEarlierOfTwoComesBeforeAndNoLimitNeverDoes) {
  const TPollDeadline soon(10);
  const TPollDeadline later(60000);
  const TPollDeadline endless(Infinite);
  EXPECT_TRUE(soon.Before(later));
  EXPECT_FALSE(later.Before(soon));
  EXPECT_FALSE(soon.Before(soon));
  EXPECT_TRUE(later.Before(endless));
  EXPECT_FALSE(endless.Before(later));
  EXPECT_FALSE(endless.Before(endless));
}

}  // namespace
}  // namespace orvella::platform
