#include "engine/UsedMemoryLog.h"

#include "platform/SystemError.h"

namespace orvella {

TUsedMemoryLog::TUsedMemoryLog(TLogId ALogId, const TLogsDir& ALogsDir, const platform::IClock& AClock,
                               platform::IPerfCounters& ACounters)
    : TUsedMemoryLog(ReadTotal(ACounters), ALogId, ALogsDir, AClock, ACounters) {}

TUsedMemoryLog::TUsedMemoryLog(double ATotal, TLogId ALogId, const TLogsDir& ALogsDir, const platform::IClock& AClock,
                               platform::IPerfCounters& ACounters)
    : TCounterLog(AvailableBytesCounterPath, MaxUsedPercent, ALogId, ALogsDir, AClock, ACounters), FTotal(ATotal) {}

double TUsedMemoryLog::ReadTotal(platform::IPerfCounters& ACounters) {
  uint64_t total = 0;
  int error = 0;
  if (!ACounters.TotalPhysicalMemory(total, error))
    platform::RaiseOSError(error);
  return static_cast<double>(total);
}

void TUsedMemoryLog::GetValue(TSampleValue& AValue) {
  TCounterLog::GetValue(AValue);
  if (AValue.IsNumeric())
    AValue = (FTotal - AValue.AsDouble()) / FTotal * 100;
}

}  // namespace orvella
