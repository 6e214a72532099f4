#include <gtest/gtest.h>

#include "engine/LogIds.h"
#include "engine/SigSet.h"
#include "engine/TickCount.h"
#include "tests/support/FakeTickSource.h"

namespace orvella {
namespace {

using testing::TFakeTickSource;

TEST(LogIds, IsOneByteWithBitNForOrdinalN) {
  EXPECT_EQ((TLogIds{TLogId::gateway, TLogId::rdp}).Bits(), 5);
  EXPECT_EQ(TLogIds{}.Bits(), 0);
  EXPECT_EQ((TLogIds{TLogId::disk}).Bits(), 32);
  EXPECT_EQ(TLogIds::FromByte(0xFF).Bits(), 0x3F);  // bits 6 and 7 never set
  TLogIds ids{TLogId::cpu, TLogId::ram};
  ids.Exclude(TLogId::cpu);
  EXPECT_TRUE(ids.Contains(TLogId::ram));
  EXPECT_FALSE(ids.Contains(TLogId::cpu));
}

TEST(LogIds, NamesAreTheFileNameParts) {
  EXPECT_EQ(LogIdName(TLogId::gateway), "gateway");
  EXPECT_EQ(LogIdName(TLogId::google), "google");
  EXPECT_EQ(LogIdName(TLogId::rdp), "rdp");
  EXPECT_EQ(LogIdName(TLogId::cpu), "cpu");
  EXPECT_EQ(LogIdName(TLogId::ram), "ram");
  EXPECT_EQ(LogIdName(TLogId::disk), "disk");
}

TEST(SigSet, HoldsEveryByteValue) {
  TSigSet set{0, 3, 255};
  EXPECT_TRUE(set.Contains(0));
  EXPECT_TRUE(set.Contains(255));
  EXPECT_FALSE(set.Contains(1));
  set.Exclude(255);
  EXPECT_FALSE(set.Contains(255));
}

TEST(TickCount, UnstartedStopwatchMeasuresTheTimeSinceSystemStart) {
  TFakeTickSource ticks(45'000);
  const TTickCount watch(ticks);
  EXPECT_EQ(watch.Elapsed(), 45'000);
  EXPECT_EQ(watch.TimeLeft(60'000), 15'000u);
  ticks.Set(60'000);
  EXPECT_EQ(watch.TimeLeft(60'000), 0u);
  ticks.Set(75'000);
  EXPECT_EQ(watch.TimeLeft(60'000), 0u);
}

TEST(TickCount, RestartMeasuresFromNow) {
  TFakeTickSource ticks(1'000'000);
  TTickCount watch(ticks);
  watch.Now();
  ticks.Advance(400);
  EXPECT_EQ(watch.Elapsed(), 400);
  EXPECT_EQ(watch.TimeLeft(1000), 600u);
}

TEST(TickCount, WrappedCounterCountsAsLongExpired) {
  TFakeTickSource ticks(0xFFFFFF00);
  TTickCount watch(ticks);
  watch.Now();
  ticks.Set(0x10);  // the 32-bit counter wrapped
  EXPECT_GT(watch.Elapsed(), int64_t{0xFFFFFFFF});
  EXPECT_EQ(watch.TimeLeft(0xFFFFFFFF), 0u);
  EXPECT_EQ(watch.TimeLeft(1000), 0u);
}

}  // namespace
}  // namespace orvella
