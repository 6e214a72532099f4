#include "platform/linux/PerfCounters.h"

#include <gtest/gtest.h>

#include <fstream>
#include <utility>

#include "tests/support/FakeTickSource.h"
#include "tests/support/TempDir.h"

namespace orvella::platform {
namespace {

class LinuxPerfCountersTest : public ::testing::Test {
protected:
  LinuxPerfCountersTest() : Counters(Proc.Path(), Ticks) {
    Stat(100, 0, 100, 700, 100);
    MemInfo(8 * 1024 * 1024, 2 * 1024 * 1024);
    DiskStats(1000);
  }

  void Write(const std::string& AName, const std::string& AText) { std::ofstream(Proc / AName) << AText; }
  void Stat(int AUser, int ANice, int ASystem, int AIdle, int AIoWait) {
    Write("stat", "cpu  " + std::to_string(AUser) + " " + std::to_string(ANice) + " " + std::to_string(ASystem) +
                      " " + std::to_string(AIdle) + " " + std::to_string(AIoWait) +
                      " 0 0 0 0 0\ncpu0 1 2 3 4 5 6 7 8 9 10\n");
  }
  void MemInfo(uint64_t ATotalKb, uint64_t AAvailableKb) {
    Write("meminfo", "MemTotal:       " + std::to_string(ATotalKb) +
                         " kB\nMemFree:          1000 kB\nMemAvailable:   " + std::to_string(AAvailableKb) + " kB\n");
  }
  void DiskStats(uint64_t AWeightedMs) {
    Write("diskstats",
          "   7       0 loop0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
          " 254       0 vda 10 0 80 5 20 0 160 9 0 14 " +
              std::to_string(AWeightedMs) + " 0 0 0 0 0 0\n 254       1 vda1 1 0 8 1 2 0 16 1 0 2 3 0 0 0 0 0 0\n");
  }

  TOsHandle Open(const std::string& APath, TPdhStatus AExpected = 0) {
    TOsHandle query = 0, counter = 0;
    EXPECT_EQ(Counters.OpenQuery(query), 0u);
    EXPECT_EQ(Counters.AddEnglishCounter(query, APath, counter), AExpected) << APath;
    return counter;
  }
  TPdhStatus Read(TOsHandle ACounter, TPdhFmtCounterValue& AValue) {
    EXPECT_EQ(Counters.CollectQueryData(1), 0u);
    return Counters.GetFormattedCounterValue(ACounter, AValue);
  }
  // A disk queue counter's first value: none at the first sample, then the
  // weighted I/O time per elapsed time over one second that ends at AWeightedMs.
  double QueueLengthOverOneSecond(const std::string& APath, uint64_t AWeightedMs) {
    const TOsHandle counter = Open(APath);
    TPdhFmtCounterValue value;
    EXPECT_EQ(Read(counter, value), PdhInvalidData);
    Ticks.Advance(1000);
    DiskStats(AWeightedMs);
    EXPECT_EQ(Read(counter, value), 0u);
    return value.DoubleValue;
  }

  testing::TTempDir Proc;
  testing::TFakeTickSource Ticks{5000};
  TLinuxPerfCounters Counters;
};

TEST_F(LinuxPerfCountersTest, ProcessorTimeIsTheBusyShareWithIoWaitAsIdle) {
  const TOsHandle counter = Open("\\Processor(_Total)\\% Processor Time");
  TPdhFmtCounterValue value;
  EXPECT_EQ(Read(counter, value), PdhInvalidData);
  EXPECT_EQ(value.CStatus, PdhCStatusInvalidData);
  // 300 more busy jiffies (user, system), 100 idle and 100 waiting for I/O.
  Stat(300, 0, 200, 800, 200);
  EXPECT_EQ(Read(counter, value), 0u);
  EXPECT_EQ(value.CStatus, 0u);
  EXPECT_DOUBLE_EQ(value.DoubleValue, 60.0);
  // No time passed between two readings.
  EXPECT_EQ(Read(counter, value), PdhCalcNegativeDenominator);
  EXPECT_EQ(value.CStatus, PdhCalcNegativeDenominator);
}

TEST_F(LinuxPerfCountersTest, AvailableBytesHasAValueAtOnceAndTotalIsMemTotal) {
  const TOsHandle counter = Open("\\Memory\\Available bytes");
  TPdhFmtCounterValue value;
  EXPECT_EQ(Read(counter, value), 0u);
  EXPECT_DOUBLE_EQ(value.DoubleValue, 2.0 * 1024 * 1024 * 1024);
  uint64_t total = 0;
  int error = 0;
  EXPECT_TRUE(Counters.TotalPhysicalMemory(total, error));
  EXPECT_EQ(total, 8ull << 30);
}

TEST_F(LinuxPerfCountersTest, DiskQueueIsWeightedIoTimePerElapsedTime) {
  EXPECT_DOUBLE_EQ(QueueLengthOverOneSecond("\\LogicalDisk(vda)\\Avg. Disk Queue Length", 3500), 2.5);
}

TEST_F(LinuxPerfCountersTest, AVolumeSumsItsDevicesAndOneWithoutDevicesGivesOnlyEmptySamples) {
  // sysfs of a machine with one disk, sda, whose statistics are switched off.
  testing::TTempDir sys;
  std::filesystem::create_directories(sys / "block/sda/queue");
  std::filesystem::create_directories(sys / "class/block");
  std::filesystem::create_directory_symlink("../../block/sda", sys / "class/block/sda");
  std::ofstream(sys / "block/sda/queue/iostats") << "0\n";
  TLinuxPerfCounters counters(Proc.Path(), Ticks, sys.Path());
  TOsHandle query = 0, counter = 0;
  counters.OpenQuery(query);
  EXPECT_EQ(counters.AddEnglishCounter(query, "\\LogicalDisk(sda)\\Avg. Disk Queue Length", counter),
            PdhCStatusNoObject);

  // A folder on no block device: the counter opens, and no sample has a value.
  EXPECT_EQ(counters.AddEnglishCounter(query, "\\LogicalDisk(" + sys.Path() + ")\\Avg. Disk Queue Length", counter),
            0u);
  TPdhFmtCounterValue value;
  for (int i = 0; i < 3; ++i, Ticks.Advance(1000)) {
    EXPECT_EQ(counters.CollectQueryData(query), 0u);
    EXPECT_EQ(counters.GetFormattedCounterValue(counter, value), PdhCalcNegativeDenominator);
    EXPECT_EQ(value.CStatus, PdhCalcNegativeDenominator);
  }

  EXPECT_DOUBLE_EQ(QueueLengthOverOneSecond("\\LogicalDisk(vda+vda1)\\Avg. Disk Queue Length", 2000), 1.0);
}

TEST_F(LinuxPerfCountersTest, UnknownPathsAndMissingSourcesFailToOpen) {
  Open("\\Processor(_Total)\\Interrupts/sec", PdhCStatusNoCounter);
  Open("\\Processor(3)\\% Processor Time", PdhCStatusNoInstance);
  Open("\\Widgets\\Count", PdhCStatusNoObject);
  Open("Memory Available bytes", PdhCStatusBadCounterName);
  Open("\\LogicalDisk(sdz9)\\Avg. Disk Queue Length", PdhCStatusNoInstance);
  Open("\\LogicalDisk(vda+sdz9)\\Avg. Disk Queue Length", PdhCStatusNoInstance);
  Open("\\LogicalDisk(/missing/folder)\\Avg. Disk Queue Length", PdhCStatusNoInstance);
  std::filesystem::remove(Proc / "stat");
  Open("\\Processor(_Total)\\% Processor Time", PdhCStatusNoObject);
  EXPECT_FALSE(PdhStatusText(PdhCStatusNoObject).empty());
}

// The texts of the system's counter library, which end up in the log lines
// of a failed sample: written out here, not taken from the product's table.
TEST(PdhStatusText, SaysWhatTheCounterLibrarySays) {
  const std::pair<TPdhStatus, const char*> texts[] = {
      {PdhCStatusNoInstance, "The specified instance is not present."},
      {PdhNoData, "No data to return."},
      {PdhCalcNegativeDenominator, "A counter with a negative denominator value was detected."},
      {PdhCStatusNoObject, "The specified object was not found on the computer."},
      {PdhCStatusNoCounter, "The specified counter could not be found."},
      {PdhCStatusInvalidData, "The returned data is not valid."},
      {PdhInvalidHandle, "The handle is not a valid PDH object."},
      {PdhInvalidArgument, "A required argument is missing or incorrect."},
      {PdhCStatusBadCounterName,
       "Unable to parse the counter path. Check the format and syntax of the specified path."},
      {PdhInvalidData, "The data is not valid."},
      {0x12345678, "Unknown counter status 0x12345678."},
  };
  for (const auto& [status, text] : texts)
    EXPECT_EQ(PdhStatusText(status), text) << status;
}

TEST_F(LinuxPerfCountersTest, SourceLostAfterOpeningFailsTheCollection) {
  const TOsHandle counter = Open("\\Memory\\Available bytes");
  std::filesystem::remove(Proc / "meminfo");
  EXPECT_EQ(Counters.CollectQueryData(1), PdhNoData);
  Counters.CloseQuery(1);
  TPdhFmtCounterValue value;
  EXPECT_EQ(Counters.GetFormattedCounterValue(counter, value), PdhInvalidHandle);
}

}  // namespace
}  // namespace orvella::platform
