#include "engine/CounterLog.h"

#include "platform/Exceptions.h"
#include "platform/SystemDir.h"

namespace orvella {

TCounterLog::TCounterLog(const std::string& ACounterName, double AMaxValue, TLogId ALogId, const TLogsDir& ALogsDir,
                         const platform::IClock& AClock, platform::IPerfCounters& ACounters)
    : TMonLog(ALogId, NoLowerBound, AMaxValue, ALogsDir, AClock), FCounters(ACounters) {
  const platform::TPdhStatus status = OpenEnglishCounterQuery(FCounters, ACounterName, FQuery, FCounter);
  if (status != 0) {
    // The destructor does not run for a constructor that fails.
    if (FQuery != 0)
      FCounters.CloseQuery(FQuery);
    RaisePdhError(status);
  }
}

TCounterLog::~TCounterLog() {
  if (FQuery != 0)
    FCounters.CloseQuery(FQuery);
}

platform::TPdhStatus TCounterLog::OpenEnglishCounterQuery(platform::IPerfCounters& ACounters,
                                                          const std::string& ACounterName,
                                                          platform::TOsHandle& AQuery,
                                                          platform::TOsHandle& ACounter) {
  AQuery = 0;
  ACounter = 0;
  const platform::TPdhStatus status = ACounters.OpenQuery(AQuery);
  if (status != 0)
    return status;
  try {
    return ACounters.AddEnglishCounter(AQuery, ACounterName, ACounter);
  } catch (...) {
    ACounters.CloseQuery(AQuery);
    AQuery = 0;
    ACounter = 0;
    throw;
  }
}

void TCounterLog::GetValue(TSampleValue& AValue) {
  platform::TPdhStatus status = FCounters.CollectQueryData(FQuery);
  if (status != 0)
    RaisePdhError(status);
  platform::TPdhFmtCounterValue value;
  value.CStatus = 0;
  status = FCounters.GetFormattedCounterValue(FCounter, value);
  const bool negativeDenominator = status == platform::PdhCalcNegativeDenominator && value.CStatus == status;
  // A rate counter needs two raw samples before it has a value.
  const bool firstRateReading =
      !FHasData && status == platform::PdhInvalidData && value.CStatus == platform::PdhCStatusInvalidData;
  if (negativeDenominator || firstRateReading) {
    AValue = TSampleValue();
  } else {
    if (status != 0)
      RaisePdhError(status);
    if (value.CStatus != 0)
      RaisePdhError(value.CStatus);
    AValue = value.DoubleValue;
  }
  FHasData = true;
}

bool TCounterLog::NeedNotifyAboutError() {
  if (TMonLog::NeedNotifyAboutError())
    return true;
  int Count = 0;
  return ScanValues([&Count](TValType AValue, int) {
    if (AValue == TValType::OutOfBounds || AValue == TValType::Error)
      ++Count;
    return Count > 50;
  });
}

std::string GetSystemDir(bool AWow64) { return platform::SystemDirectory(AWow64); }

std::string DiskQueueCounterPath() {
  return "\\LogicalDisk(" + platform::VolumeOfPath(GetSystemDir(false)) + ")\\Avg. Disk Queue Length";
}

bool CounterOpens(const std::string& ACounterName, platform::IPerfCounters& ACounters) {
  platform::TOsHandle query = 0;
  platform::TOsHandle counter = 0;
  const platform::TPdhStatus status = TCounterLog::OpenEnglishCounterQuery(ACounters, ACounterName, query, counter);
  if (query != 0)
    ACounters.CloseQuery(query);
  return status == 0;
}

bool CountersAvailable(platform::IPerfCounters& ACounters) {
  return CounterOpens(AvailableBytesCounterPath, ACounters) && CounterOpens(ProcessorTimeCounterPath, ACounters) &&
         CounterOpens(DiskQueueCounterPath(), ACounters);
}

void RaisePdhError(platform::TPdhStatus ACode) {
  throw EOSError(static_cast<int>(ACode), platform::PdhStatusText(ACode));
}

}  // namespace orvella
