#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"

namespace orvella {
namespace {

TEST(DateTime, DayCountsStartAtTheEndOf1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2021, 4, 19), 44305);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
}

TEST(DateTime, DecodeInvertsEncodeAcrossCalendarRules) {
  for (const auto& [y, m, d] : {std::tuple{2000, 2, 29}, {1900, 2, 28}, {2024, 12, 31}, {1, 1, 1}, {9999, 12, 31}}) {
    // Before 1899 the day count is negative and the time of day adds to its magnitude.
    const TDateTime day = EncodeDate(y, m, d);
    const TDateParts parts = DecodeDate(day < 0 ? day - 0.75 : day + 0.75);
    EXPECT_EQ(parts.Year, y);
    EXPECT_EQ(parts.Month, m);
    EXPECT_EQ(parts.Day, d);
  }
}

TEST(DateTime, InvalidDatesAreRejected) {
  EXPECT_FALSE(IsValidDate(2021, 4, 31));
  EXPECT_FALSE(IsValidDate(1900, 2, 29));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
  EXPECT_FALSE(IsValidDate(2021, 13, 1));
  EXPECT_FALSE(IsValidDate(0, 1, 1));
  EXPECT_FALSE(IsValidDate(10000, 1, 1));
  EXPECT_THROW(EncodeDate(2021, 4, 31), EConvertError);
}

TEST(DateTime, TimeOfDayRoundsToTheNearestMillisecond) {
  const TDateTime t = EncodeDate(2021, 4, 19) + EncodeTime(14, 3, 7, 999);
  const TTimeParts parts = DecodeTime(t);
  EXPECT_EQ(parts.Hour, 14);
  EXPECT_EQ(parts.Minute, 3);
  EXPECT_EQ(parts.Second, 7);
  EXPECT_EQ(parts.Millisecond, 999);
  EXPECT_EQ(FormatFileTime(t), "14.03.07");
  EXPECT_EQ(FormatFileDate(t), "2021.04.19");
  EXPECT_EQ(FormatLogTimeStamp(t, ":"), "19.04.2021 14:03:07");
}

TEST(DateTime, JustBeforeMidnightStaysOnItsDay) {
  const TDateTime t = EncodeDate(2021, 4, 19) + EncodeTime(23, 59, 59, 999);
  EXPECT_EQ(DateOf(t), EncodeDate(2021, 4, 19));
  EXPECT_EQ(FormatLogTimeStamp(t, "."), "19.04.2021 23.59.59");
}

TEST(DateTime, UnixTimeConvertsOnBothSidesOf1899) {
  EXPECT_EQ(UnixMillisecondsToDateTime(0), 25569);
  EXPECT_DOUBLE_EQ(UnixMillisecondsToDateTime(-1), 25569 - 1.0 / 86'400'000);
  // 29 December 1899, 06:00: the day runs backwards, the time forwards.
  const TDateTime t = UnixMillisecondsToDateTime((-25569 - 1) * 86'400'000LL + 6 * 3'600'000LL);
  EXPECT_DOUBLE_EQ(t, -1.25);
  EXPECT_EQ(FormatLogTimeStamp(t, ":"), "29.12.1899 06:00:00");
}

}  // namespace
}  // namespace orvella
