#include "engine/CounterLog.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

#include <filesystem>
#include <string>

#include "engine/UsedMemoryLog.h"
#include "platform/Exceptions.h"
#include "tests/support/ExpectError.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePerfCounters.h"
#include "tests/support/LogReader.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using Fake = testing::TFakePerfCounters;

class CounterLogTest : public ::testing::Test {
protected:
  CounterLogTest() : Day(EncodeDate(2026, 12, 9)), Clock(Day + 0.25), LogsDir(Temp.Path()) {}

  std::unique_ptr<TCounterLog> MakeCpu() {
    return std::make_unique<TCounterLog>(ProcessorTimeCounterPath, 98.0, TLogId::cpu, LogsDir, Clock, Counters);
  }

  std::vector<std::string> Texts(TLogId AId) {
    std::vector<std::string> texts;
    for (const std::string& line : testing::ReadLogLines(LogsDir, AId, Day))
      texts.push_back(line.substr(line.find(" - ") + 3));
    return texts;
  }

  // Feeds AValues one sample each; true when the last sample asked for a notification.
  bool Feed(TCounterLog& AMonitor, const std::vector<Fake::TAnswer>& AAnswers) {
    bool persists = false;
    for (const Fake::TAnswer& answer : AAnswers) {
      Counters.Answers = {answer};
      persists = !AMonitor.LogNewValue();
    }
    return persists;
  }

  const TDateTime Day;
  testing::TTempDir Temp;
  testing::TFakeClock Clock;
  TLogsDir LogsDir;
  Fake Counters;
};

TEST_F(CounterLogTest, FirstReadingOfARateCounterIsEmptyLaterOnesAreErrors) {
  auto cpu = MakeCpu();
  Feed(*cpu, {Fake::NoValueYet(), Fake::Value(12.5), Fake::NoValueYet(), Fake::NegativeDenominator()});
  const auto texts = Texts(TLogId::cpu);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "");
  EXPECT_EQ(texts[1], "12.5");
  EXPECT_EQ(texts[2], "EOSError: " + platform::PdhStatusText(platform::PdhInvalidData));
  EXPECT_EQ(texts[3], "");
}

TEST_F(CounterLogTest, FailedCollectionIsAnErrorAndKeepsTheFirstReadingTolerated) {
  auto cpu = MakeCpu();
  Feed(*cpu, {Fake::CollectFails(platform::PdhNoData), Fake::NoValueYet()});
  const auto texts = Texts(TLogId::cpu);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "EOSError: " + platform::PdhStatusText(platform::PdhNoData));
  EXPECT_EQ(texts[1], "");
}

TEST_F(CounterLogTest, ValueWithABadCounterStatusIsAnError) {
  auto cpu = MakeCpu();
  Feed(*cpu, {Fake::Value(1), {0, 0, platform::PdhCStatusInvalidData, 0}});
  EXPECT_EQ(Texts(TLogId::cpu).back(), "EOSError: " + platform::PdhStatusText(platform::PdhCStatusInvalidData));
}

TEST_F(CounterLogTest, ProblemPersistsWithMoreThanFiftyBadVerdicts) {
  auto cpu = MakeCpu();
  std::vector<Fake::TAnswer> answers;
  for (int i = 0; i < 50; ++i) {
    answers.push_back(Fake::Value(98.5));
    if (i < 49)
      answers.push_back(Fake::NegativeDenominator());  // empty samples count as good
  }
  EXPECT_FALSE(Feed(*cpu, answers));
  EXPECT_TRUE(Feed(*cpu, {Fake::Value(98.5)}));
}

TEST_F(CounterLogTest, BoundsAreInclusive) {
  auto cpu = MakeCpu();
  EXPECT_FALSE(Feed(*cpu, std::vector<Fake::TAnswer>(100, Fake::Value(98.0))));
  auto disk = std::make_unique<TCounterLog>("\\LogicalDisk(C:)\\Avg. Disk Queue Length", 1.99999999999999,
                                            TLogId::disk, LogsDir, Clock, Counters);
  EXPECT_FALSE(Feed(*disk, std::vector<Fake::TAnswer>(100, Fake::Value(1.99999999999999))));
  disk->ClearErrors();
  EXPECT_TRUE(Feed(*disk, std::vector<Fake::TAnswer>(51, Fake::Value(2.0))));
}

TEST_F(CounterLogTest, CounterThatCannotBeOpenedFailsTheConstructorAndClosesItsQuery) {
  Counters.Refused[ProcessorTimeCounterPath] = platform::PdhCStatusNoObject;
  EXPECT_TRUE(testing::RaisesOSError([this] { MakeCpu(); }, static_cast<int>(platform::PdhCStatusNoObject),
                                     platform::PdhStatusText(platform::PdhCStatusNoObject)));
  EXPECT_EQ(Counters.OpenQueries, 0);
}

TEST_F(CounterLogTest, UsedMemoryIsTheShareOfTheTotalNotAvailable) {
  Counters.TotalBytes = 8ull << 30;
  TUsedMemoryLog ram(TLogId::ram, LogsDir, Clock, Counters);
  EXPECT_FALSE(Feed(ram, {Fake::Value(40.0 * 1024 * 1024)}));
  EXPECT_EQ(Texts(TLogId::ram).back(), "99.51171875");
  EXPECT_EQ(Counters.Added, std::vector<std::string>{"\\Memory\\Available bytes"});
  // Out of bounds: 51 such samples are a problem.
  EXPECT_TRUE(Feed(ram, std::vector<Fake::TAnswer>(50, Fake::Value(40.0 * 1024 * 1024))));
  Feed(ram, {Fake::NoValueYet()});
  EXPECT_EQ(Texts(TLogId::ram).back(), "EOSError: " + platform::PdhStatusText(platform::PdhInvalidData));
}

TEST_F(CounterLogTest, UsedMemoryWithoutTotalFailsBeforeOpeningTheCounter) {
  Counters.TotalFails = true;
  EXPECT_THROW(TUsedMemoryLog(TLogId::ram, LogsDir, Clock, Counters), EOSError);
  EXPECT_TRUE(Counters.Added.empty());
}

TEST(CountersAvailableTest, StopsAtTheFirstCounterThatDoesNotOpen) {
  Fake counters;
  counters.Refused["\\Memory\\Available bytes"] = platform::PdhCStatusNoCounter;
  EXPECT_FALSE(CountersAvailable(counters));
  EXPECT_EQ(counters.Added, std::vector<std::string>{"\\Memory\\Available bytes"});
  EXPECT_EQ(counters.OpenQueries, 0);

  Fake good;
  EXPECT_TRUE(CountersAvailable(good));
  ASSERT_EQ(good.Added.size(), 3u);
  EXPECT_EQ(good.Added[1], ProcessorTimeCounterPath);
  EXPECT_EQ(good.Added[2], DiskQueueCounterPath());
  EXPECT_EQ(good.OpenQueries, 0);
}

#ifndef _WIN32
// The kernel's name of the block device that holds APath ("vda", "sda2"), as
// /sys/dev/block lists it; empty when that is not one plain device (a file
// system on several devices or on none, such as an overlay).
std::string PlainBlockDeviceOf(const std::string& APath) {
  struct stat info = {};
  if (stat(APath.c_str(), &info) != 0)
    return "";
  const std::filesystem::path device =
      "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
  std::error_code error;
  const std::filesystem::path target = std::filesystem::read_symlink(device, error);
  if (error)
    return "";
  // A partition has no such folder; a device mapper or raid device lists what it is made of.
  const std::filesystem::path parts = device / "slaves";
  if (std::filesystem::exists(parts, error) && !std::filesystem::is_empty(parts, error))
    return "";
  return target.filename().string();
}
#endif

TEST(DiskQueueCounterPathTest, NamesTheVolumeOfTheSystemDirectory) {
  const std::string path = DiskQueueCounterPath();
  EXPECT_EQ(path.rfind("\\LogicalDisk(", 0), 0u);
  EXPECT_NE(path.find(")\\Avg. Disk Queue Length"), std::string::npos);
  EXPECT_GT(path.size(), std::string("\\LogicalDisk()\\Avg. Disk Queue Length").size());
  EXPECT_EQ(GetSystemDir(true), "");
#ifndef _WIN32
  const std::string device = PlainBlockDeviceOf("/usr/bin");
  if (device.empty())
    GTEST_SKIP() << "/usr/bin is not on one plain block device, whose name the kernel would give here";
  EXPECT_EQ(path, "\\LogicalDisk(" + device + ")\\Avg. Disk Queue Length");
#endif
}

}  // namespace
}  // namespace orvella
