#include "platform/linux/RoundTripTime.h"

#include <gtest/gtest.h>

namespace orvella::platform {
namespace {

// A request whose answer was taken off the socket the moment it arrived.
int64_t Immediate(const timespec& ASent, const timespec& ATaken) {
  return RoundTripMilliseconds(ASent, ATaken, {500, 0}, {500, 0});
}

TEST(RoundTripMillisecondsTest, DropsTheFractionOfTheLastMillisecond) {
  EXPECT_EQ(Immediate({5, 100'000'000}, {5, 103'999'999}), 3);
  EXPECT_EQ(Immediate({5, 100'000'000}, {5, 100'000'000}), 0);
  EXPECT_EQ(Immediate({5, 900'000'000}, {6, 50'000'000}), 150);
}

TEST(RoundTripMillisecondsTest, ReadingsAcrossASecondBoundary) {
  // 0.3 ms, and 150.5 ms, each straddling a whole second.
  EXPECT_EQ(Immediate({5, 999'900'000}, {6, 200'000}), 0);
  EXPECT_EQ(Immediate({5, 999'500'000}, {6, 150'000'000}), 150);
}

TEST(RoundTripMillisecondsTest, KernelStampMarksTheArrival) {
  // Sent at 10.000 s, taken off the socket 2 ms after the kernel stamped it.
  EXPECT_EQ(RoundTripMilliseconds({10, 0}, {10, 45'500'000}, {500, 0}, {500, 2'000'000}), 43);
}

TEST(RoundTripMillisecondsTest, WallClockStepsDoNotChangeIt) {
  // The wall clock was set an hour forward, then back, while the request was out.
  EXPECT_EQ(RoundTripMilliseconds({10, 0}, {10, 45'000'000}, {3600 + 500, 0}, {3600 + 500, 0}), 45);
  EXPECT_EQ(RoundTripMilliseconds({10, 0}, {10, 45'000'000}, {500 - 3600, 0}, {500 - 3600, 0}), 45);
  // Stepped between the stamp and its reading: the request took no time at all at worst.
  EXPECT_EQ(RoundTripMilliseconds({10, 0}, {10, 45'000'000}, {500, 0}, {500 + 3600, 0}), 0);
  EXPECT_EQ(RoundTripMilliseconds({10, 0}, {10, 45'000'000}, {500, 0}, {500 - 3600, 0}), 45);
}

}  // namespace
}  // namespace orvella::platform
