#pragma once
// The memory monitor: the share of physical memory in use, in percent.
#include "engine/CounterLog.h"

namespace orvella {

class TUsedMemoryLog : public TCounterLog {
public:
  static constexpr double MaxUsedPercent = 99.0;

  // Reads the total physical memory once; the platform's error when it cannot.
  TUsedMemoryLog(TLogId ALogId, const TLogsDir& ALogsDir, const platform::IClock& AClock = platform::SystemClock(),
                 platform::IPerfCounters& ACounters = platform::SystemPerfCounters());

protected:
  void GetValue(TSampleValue& AValue) override;

private:
  // The total is read before the counter is opened.
  TUsedMemoryLog(double ATotal, TLogId ALogId, const TLogsDir& ALogsDir, const platform::IClock& AClock,
                 platform::IPerfCounters& ACounters);
  static double ReadTotal(platform::IPerfCounters& ACounters);
  const double FTotal;
};

}  // namespace orvella
