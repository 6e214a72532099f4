#pragma once
// The load monitors' base: one performance counter read per sample, a problem
// when more than half of the retained verdicts are bad.
#include <string>

#include "engine/MonLog.h"
#include "platform/PerfCounters.h"

namespace orvella {

inline constexpr const char* ProcessorTimeCounterPath = "\\Processor(_Total)\\% Processor Time";
inline constexpr const char* AvailableBytesCounterPath = "\\Memory\\Available bytes";
// The upper bounds of the processor and disk monitors. The disk's is the
// double nearest to 1.99999999999999, just below 2, so that a queue of 2 is
// already out of bounds.
inline constexpr double ProcessorTimeMax = 98.0;
inline constexpr double DiskQueueMax = 1.99999999999999;

class TCounterLog : public TMonLog {
public:
  // Opens the counter; a status other than 0 raises the counter library's error.
  TCounterLog(const std::string& ACounterName, double AMaxValue, TLogId ALogId, const TLogsDir& ALogsDir,
              const platform::IClock& AClock = platform::SystemClock(),
              platform::IPerfCounters& ACounters = platform::SystemPerfCounters());
  ~TCounterLog() override;

  // Opens a query with the one counter ACounterName; the status of the first
  // failing step, 0 on success. A query that was opened stays open in AQuery
  // even when adding the counter failed: the caller closes it.
  static platform::TPdhStatus OpenEnglishCounterQuery(platform::IPerfCounters& ACounters,
                                                      const std::string& ACounterName, platform::TOsHandle& AQuery,
                                                      platform::TOsHandle& ACounter);

protected:
  void GetValue(TSampleValue& AValue) override;
  bool NeedNotifyAboutError() override;

  platform::IPerfCounters& FCounters;

private:
  platform::TOsHandle FQuery = 0;
  platform::TOsHandle FCounter = 0;
  bool FHasData = false;
};

// The system directory, or with AWow64 the WOW64 one (empty where there is none).
std::string GetSystemDir(bool AWow64);
// "\LogicalDisk(%s)\Avg. Disk Queue Length" for the volume of the system directory.
std::string DiskQueueCounterPath();
// Whether a query with ACounterName opens.
bool CounterOpens(const std::string& ACounterName,
                  platform::IPerfCounters& ACounters = platform::SystemPerfCounters());
// Whether the memory, processor and disk counters all open; stops at the first that does not.
bool CountersAvailable(platform::IPerfCounters& ACounters = platform::SystemPerfCounters());
// EOSError with ACode and the counter library's text of it.
[[noreturn]] void RaisePdhError(platform::TPdhStatus ACode);

}  // namespace orvella
