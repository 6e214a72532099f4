// The counter monitors on this machine's own kernel, checked against procps'
// vmstat and free where they measure the same thing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/CounterLog.h"
#include "engine/UsedMemoryLog.h"
#include "platform/linux/PerfCounters.h"
#include "tests/support/ChildRun.h"
#include "tests/support/LogReader.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using platform::TOsHandle;

// One counter of a fresh query on the system's counters.
class TCounter {
public:
  explicit TCounter(const std::string& APath) {
    EXPECT_EQ(TCounterLog::OpenEnglishCounterQuery(FCounters, APath, FQuery, FCounter), 0u) << APath;
  }
  ~TCounter() {
    if (FQuery)
      FCounters.CloseQuery(FQuery);
  }
  platform::TPdhStatus Read(double& AValue) {
    EXPECT_EQ(FCounters.CollectQueryData(FQuery), 0u);
    platform::TPdhFmtCounterValue value;
    const platform::TPdhStatus status = FCounters.GetFormattedCounterValue(FCounter, value);
    AValue = value.DoubleValue;
    return status;
  }

private:
  platform::TLinuxPerfCounters FCounters;
  TOsHandle FQuery = 0;
  TOsHandle FCounter = 0;
};

// Keeps every processor busy until destroyed.
class TBusyLoop {
public:
  TBusyLoop() {
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
      FThreads.emplace_back([this] {
        volatile uint64_t sink = 0;
        while (!FStop)
          sink = sink + 1;
      });
  }
  ~TBusyLoop() {
    FStop = true;
    for (auto& thread : FThreads)
      thread.join();
  }

private:
  std::atomic<bool> FStop{false};
  std::vector<std::thread> FThreads;
};

TEST(CounterIntegrationTest, AllThreeCountersOpenAndRateCountersStartEmpty) {
  EXPECT_TRUE(CountersAvailable());
  double value = 0;
  TCounter cpu(ProcessorTimeCounterPath);
  EXPECT_EQ(cpu.Read(value), platform::PdhInvalidData);
  TCounter disk(DiskQueueCounterPath());
  EXPECT_EQ(disk.Read(value), platform::PdhInvalidData);
  TCounter memory(AvailableBytesCounterPath);
  EXPECT_EQ(memory.Read(value), 0u);
  EXPECT_GT(value, 0);
}

TEST(CounterIntegrationTest, MonitorsLogAnEmptyFirstRateSampleAndThenValues) {
  testing::TTempDir temp;
  TLogsDir logs(temp.Path());
  TCounterLog cpu(ProcessorTimeCounterPath, 98.0, TLogId::cpu, logs);
  TCounterLog disk(DiskQueueCounterPath(), 1.99999999999999, TLogId::disk, logs);
  TUsedMemoryLog ram(TLogId::ram, logs);
  for (TMonLog* monitor : std::initializer_list<TMonLog*>{&cpu, &disk, &ram})
    monitor->LogNewValue();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (TMonLog* monitor : std::initializer_list<TMonLog*>{&cpu, &disk, &ram})
    monitor->LogNewValue();
  const TDateTime day = DateOf(platform::SystemClock().LocalNow());
  for (TLogId id : {TLogId::cpu, TLogId::disk, TLogId::ram}) {
    const auto lines = testing::ReadLogLines(logs, id, day);
    ASSERT_EQ(lines.size(), 2u) << LogIdName(id);
    const std::string first = lines[0].substr(lines[0].find(" - ") + 3);
    const std::string second = lines[1].substr(lines[1].find(" - ") + 3);
    EXPECT_EQ(first.empty(), id != TLogId::ram) << LogIdName(id) << ": " << first;
    EXPECT_FALSE(second.empty()) << LogIdName(id);
    EXPECT_EQ(second.find("Error"), std::string::npos) << second;
  }
}

TEST(CounterIntegrationTest, ProcessorTimeRisesUnderABusyLoopAsVmstatSeesIt) {
  TCounter cpu(ProcessorTimeCounterPath);
  double value = 0;
  cpu.Read(value);
  TBusyLoop busy;
  // vmstat's second line is the share of the next second: us sy id wa st.
  const std::string vmstat = testing::CommandOutput({"vmstat", "1", "2"});
  ASSERT_EQ(cpu.Read(value), 0u);
  std::istringstream lines(vmstat);
  std::string line, last;
  while (std::getline(lines, line))
    if (!line.empty())
      last = line;
  std::istringstream fields(last);
  std::vector<double> numbers;
  for (double number; fields >> number;)
    numbers.push_back(number);
  ASSERT_GE(numbers.size(), 16u) << vmstat;
  const double vmstatBusy = 100 - numbers[14] - numbers[15];
  EXPECT_GT(value, 80);
  EXPECT_NEAR(value, vmstatBusy, 15) << vmstat;
}

TEST(CounterIntegrationTest, AvailableMemoryMatchesFree) {
  TCounter memory(AvailableBytesCounterPath);
  double value = 0;
  ASSERT_EQ(memory.Read(value), 0u);
  // "Mem:  total used free shared buff/cache available"
  std::istringstream free(testing::CommandOutput({"free", "-b"}));
  std::string line, label;
  std::getline(free, line);
  std::getline(free, line);
  std::istringstream fields(line);
  double total = 0, used = 0, freeBytes = 0, shared = 0, cache = 0, available = 0;
  fields >> label >> total >> used >> freeBytes >> shared >> cache >> available;
  ASSERT_EQ(label, "Mem:");
  EXPECT_NEAR(value, available, total * 0.02);
  uint64_t ourTotal = 0;
  int error = 0;
  ASSERT_TRUE(platform::SystemPerfCounters().TotalPhysicalMemory(ourTotal, error));
  EXPECT_EQ(static_cast<double>(ourTotal), total);
}

TEST(CounterIntegrationTest, DiskQueueRisesUnderAWriteLoad) {
  const std::string systemDir = GetSystemDir(false);
  struct stat system = {}, temporary = {};
  testing::TTempDir dir;
  ASSERT_EQ(stat(systemDir.c_str(), &system), 0);
  ASSERT_EQ(stat(dir.Path().c_str(), &temporary), 0);
  if (system.st_dev != temporary.st_dev)
    GTEST_SKIP() << "the temporary folder is not on the system directory's volume";

  TCounter disk(DiskQueueCounterPath());
  double value = 0;
  disk.Read(value);
  std::atomic<bool> stop{false};
  // Synchronous writes from two writers keep requests in the device's queue.
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w)
    writers.emplace_back([&, w] {
      const int fd = open((dir / ("load" + std::to_string(w))).c_str(), O_WRONLY | O_CREAT | O_DSYNC, 0600);
      std::vector<char> block(256 * 1024, 'x');
      while (!stop && fd >= 0) {
        if (pwrite(fd, block.data(), block.size(), 0) < 0)
          break;
      }
      if (fd >= 0)
        close(fd);
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const platform::TPdhStatus status = disk.Read(value);
  stop = true;
  for (auto& writer : writers)
    writer.join();
  ASSERT_EQ(status, 0u);
  EXPECT_GT(value, 0.1);
}

}  // namespace
}  // namespace orvella
