#include "platform/linux/ElapsedMilliseconds.h"

#include <gtest/gtest.h>

namespace orvella::platform {
namespace {

TEST(ElapsedMillisecondsTest, DropsTheFractionOfTheLastMillisecond) {
  EXPECT_EQ(ElapsedMilliseconds({5, 100'000'000}, {5, 103'999'999}), 3);
  EXPECT_EQ(ElapsedMilliseconds({5, 100'000'000}, {5, 100'000'000}), 0);
  EXPECT_EQ(ElapsedMilliseconds({5, 900'000'000}, {6, 50'000'000}), 150);
}

TEST(ElapsedMillisecondsTest, ReadingsAcrossASecondBoundary) {
  // 0.3 ms, and 150.5 ms, each straddling a whole second.
  EXPECT_EQ(ElapsedMilliseconds({5, 999'900'000}, {6, 200'000}), 0);
  EXPECT_EQ(ElapsedMilliseconds({5, 999'500'000}, {6, 150'000'000}), 150);
}

}  // namespace
}  // namespace orvella::platform
