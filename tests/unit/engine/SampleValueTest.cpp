#include "engine/SampleValue.h"

#include <gtest/gtest.h>

#include <limits>

namespace orvella {
namespace {

std::string General(double AValue, const std::string& ASeparator = ".") {
  return FormatGeneralFloat(AValue, ASeparator);
}

TEST(GeneralFloat, FixedNotationWithTrailingZerosDropped) {
  EXPECT_EQ(General(12.5), "12.5");
  EXPECT_EQ(General(98), "98");
  EXPECT_EQ(General(99.5), "99.5");
  EXPECT_EQ(General(1.99999999999999), "1.99999999999999");
  EXPECT_EQ(General(0.00001), "0.00001");
  EXPECT_EQ(General(-0.25), "-0.25");
  EXPECT_EQ(General(0.0), "0");
  EXPECT_EQ(General(100), "100");
}

TEST(GeneralFloat, FifteenSignificantDigitsRounded) {
  EXPECT_EQ(General(0.1 + 0.2), "0.3");
  EXPECT_EQ(General(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(General(1.999999999999999), "2");
  EXPECT_EQ(General(123456789.123456789), "123456789.123457");
  EXPECT_EQ(General(999999999999999.0), "999999999999999");
}

TEST(GeneralFloat, ScientificOnlyForTinyOrHugeMagnitudes) {
  EXPECT_EQ(General(1e-6), "1E-6");
  EXPECT_EQ(General(0.0000015), "1.5E-6");
  EXPECT_EQ(General(1e15), "1E15");
  EXPECT_EQ(General(-2.5e20), "-2.5E20");
  EXPECT_EQ(General(std::numeric_limits<double>::max()), "1.79769313486232E308");
}

TEST(GeneralFloat, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(General(12.5, ","), "12,5");
  EXPECT_EQ(General(1.5e-6, ","), "1,5E-6");
}

TEST(SampleValue, PrintsEachKindAsTheLogLineNeedsIt) {
  const platform::TFormatSettings settings;
  EXPECT_EQ(TSampleValue().ToText(settings), "");
  EXPECT_EQ(TSampleValue(int64_t{-42}).ToText(settings), "-42");
  EXPECT_EQ(TSampleValue(12.5).ToText(settings), "12.5");
  EXPECT_EQ(TSampleValue("Time is out").ToText(settings), "Time is out");
  EXPECT_TRUE(TSampleValue(3).IsNumeric());
  EXPECT_FALSE(TSampleValue("3").IsNumeric());
  EXPECT_TRUE(TSampleValue().IsEmpty());
}

}  // namespace
}  // namespace orvella
