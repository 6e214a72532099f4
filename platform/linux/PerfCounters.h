#pragma once
// The three counters the load monitors read, from the kernel's /proc files:
//   \Processor(_Total)\% Processor Time  busy share of all processors, /proc/stat
//   \Memory\Available bytes              MemAvailable of /proc/meminfo
//   \LogicalDisk(<volume>)\Avg. Disk Queue Length
//       weighted I/O milliseconds of /proc/diskstats per elapsed millisecond,
//       the same quantity as the time-integrated queue length Windows reports,
//       summed over the volume's devices. The volume is either device names
//       joined by "+" (sda2, sdb+sdc) or a folder, whose file system's devices
//       are meant; a folder on no block device gives a counter whose samples
//       are all empty. A disk whose statistics are switched off
//       (queue/iostats = 0) does not open, as a disabled counter on Windows.
// Rate counters have no value before their second collection, as with PDH.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PerfCounters.h"
#include "platform/TickSource.h"
#include "platform/linux/ProcFile.h"

namespace orvella::platform {

class TLinuxPerfCounters final : public IPerfCounters {
public:
  // AProcRoot: the folder that holds stat, meminfo and diskstats; ASysRoot: sysfs.
  explicit TLinuxPerfCounters(std::string AProcRoot = "/proc", const ITickSource& ATicks = SystemTickSource(),
                              std::string ASysRoot = "/sys");

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
    std::vector<std::string> Devices;
    int Samples = 0;
    TRaw Previous;
    TRaw Current;
  };

  bool Read(const TCounter& ACounter, TRaw& ARaw) const;
  bool ReadMemInfo(const char* AField, uint64_t& ABytes) const;
  TPdhStatus FindDisks(const std::string& AVolume, std::vector<std::string>& ADevices) const;

  const std::string FProcRoot;
  const ITickSource& FTicks;
  const std::string FSysRoot;
  const TProcFile FStat;
  const TProcFile FMemInfo;
  const TProcFile FDiskStats;
  std::mutex FLock;
  std::map<TOsHandle, bool> FQueries;
  std::map<TOsHandle, TCounter> FCounters;
  TOsHandle FNextHandle = 1;
};

}  // namespace orvella::platform
