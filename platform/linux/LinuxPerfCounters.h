#pragma once
// The three counters the load monitors read, from the kernel's /proc files:
//   \Processor(_Total)\% Processor Time  busy share of all processors, /proc/stat
//   \Memory\Available bytes              MemAvailable of /proc/meminfo
//   \LogicalDisk(<device>)\Avg. Disk Queue Length
//       weighted I/O milliseconds of /proc/diskstats per elapsed millisecond,
//       the same quantity as the time-integrated queue length Windows reports
// Rate counters have no value before their second collection, as with PDH.
#include <map>
#include <mutex>
#include <string>

#include "platform/PerfCounters.h"
#include "platform/TickSource.h"

namespace orvella::platform {

class TLinuxPerfCounters final : public IPerfCounters {
public:
  // AProcRoot: the folder that holds stat, meminfo and diskstats.
  explicit TLinuxPerfCounters(std::string AProcRoot = "/proc", const ITickSource& ATicks = SystemTickSource());

  TPdhStatus OpenQuery(TOsHandle& AQuery) override;
  TPdhStatus AddEnglishCounter(TOsHandle AQuery, const std::string& APath, TOsHandle& ACounter) override;
  TPdhStatus CollectQueryData(TOsHandle AQuery) override;
  TPdhStatus GetFormattedCounterValue(TOsHandle ACounter, TPdhFmtCounterValue& AValue) override;
  void CloseQuery(TOsHandle AQuery) override;
  bool TotalPhysicalMemory(uint64_t& ABytes, int& ALastError) override;

private:
  enum class TKind { ProcessorTime, AvailableBytes, DiskQueueLength };
  struct TRaw {
    double Value = 0;  // busy jiffies, available bytes or weighted I/O milliseconds
    double Base = 0;   // total jiffies or elapsed milliseconds
  };
  struct TCounter {
    TOsHandle Query;
    TKind Kind;
    std::string Device;
    int Samples = 0;
    TRaw Previous;
    TRaw Current;
  };

  bool Read(const TCounter& ACounter, TRaw& ARaw) const;
  bool ReadMemInfo(const char* AField, uint64_t& ABytes) const;

  const std::string FProcRoot;
  const ITickSource& FTicks;
  std::mutex FLock;
  std::map<TOsHandle, bool> FQueries;
  std::map<TOsHandle, TCounter> FCounters;
  TOsHandle FNextHandle = 1;
};

}  // namespace orvella::platform
