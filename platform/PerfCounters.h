#pragma once
// Real-time performance counters by English counter path, in the shape of the
// Performance Data Helper: a query holds counters, a collection takes one raw
// sample of all of them, a formatted read turns the latest samples into a value.
#include <cstdint>
#include <string>

#include "platform/OsHandle.h"

namespace orvella::platform {

using TPdhStatus = uint32_t;

inline constexpr TPdhStatus PdhCStatusValidData = 0x0;
inline constexpr TPdhStatus PdhCStatusNoInstance = 0x800007D1;
inline constexpr TPdhStatus PdhNoData = 0x800007D5;
inline constexpr TPdhStatus PdhCalcNegativeDenominator = 0x800007D6;
inline constexpr TPdhStatus PdhCStatusNoObject = 0xC0000BB8;
inline constexpr TPdhStatus PdhCStatusNoCounter = 0xC0000BB9;
inline constexpr TPdhStatus PdhCStatusInvalidData = 0xC0000BBA;
inline constexpr TPdhStatus PdhInvalidHandle = 0xC0000BBC;
inline constexpr TPdhStatus PdhInvalidArgument = 0xC0000BBD;
inline constexpr TPdhStatus PdhCStatusBadCounterName = 0xC0000BC0;
inline constexpr TPdhStatus PdhInvalidData = 0xC0000BC6;

struct TPdhFmtCounterValue {
  TPdhStatus CStatus = 0;
  double DoubleValue = 0;
};

class IPerfCounters {
public:
  virtual ~IPerfCounters() = default;

  virtual TPdhStatus OpenQuery(TOsHandle& AQuery) = 0;
  virtual TPdhStatus AddEnglishCounter(TOsHandle AQuery, const std::string& APath, TOsHandle& ACounter) = 0;
  virtual TPdhStatus CollectQueryData(TOsHandle AQuery) = 0;
  // The value as a double (PDH_FMT_DOUBLE).
  virtual TPdhStatus GetFormattedCounterValue(TOsHandle ACounter, TPdhFmtCounterValue& AValue) = 0;
  virtual void CloseQuery(TOsHandle AQuery) = 0;

  // Total physical memory in bytes; false with the reason in ALastError.
  virtual bool TotalPhysicalMemory(uint64_t& ABytes, int& ALastError) = 0;
};

// The counter service of this system; lives as long as the process.
IPerfCounters& SystemPerfCounters();

// The message text of a counter status, without a trailing line break.
std::string PdhStatusText(TPdhStatus AStatus);

}  // namespace orvella::platform
