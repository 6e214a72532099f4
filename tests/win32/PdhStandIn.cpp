// A stand-in for pdh.dll, given only to the Wine prefixes of the tests through
// a DLL override: Wine's own pdh.dll knows the processor counter alone, and
// the program needs the memory and disk counters too. It answers the three
// counters the program reads with steady values, and a rate counter (the
// processor's and the disk's) has no value before its second collection, as
// with Windows' own. As on Windows, the counters of a service whose
// "Disable Performance Counters" value is set (PerfOS: processor and memory;
// PerfDisk: disk) do not exist.
#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include <cwchar>
#include <memory>
#include <string>

namespace {

constexpr double ProcessorPercent = 3.0;
constexpr double AvailableBytes = 2147483648.0;
constexpr double DiskQueueLength = 0.02;

struct TQuery;

struct TCounter {
  TQuery* Query;
  double Value;
  bool Rate;
  TCounter* Next;
};

struct TQuery {
  unsigned Collections = 0;
  TCounter* Counters = nullptr;
};

// Counter paths are compared without regard to case, as PDH does.
bool Matches(LPCWSTR APath, const wchar_t* AHead, const wchar_t* ATail = L"") {
  if (!APath)
    return false;
  const size_t length = std::wcslen(APath), head = std::wcslen(AHead), tail = std::wcslen(ATail);
  return length >= head + tail && _wcsnicmp(APath, AHead, head) == 0 && _wcsicmp(APath + length - tail, ATail) == 0;
}

bool ServiceDisabled(const wchar_t* AService) {
  const std::wstring key = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + AService + L"\\Performance";
  DWORD value = 0, size = sizeof value;
  return RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Disable Performance Counters", RRF_RT_REG_DWORD, nullptr,
                      &value, &size) == ERROR_SUCCESS &&
         value != 0;
}

PDH_STATUS AddCounter(PDH_HQUERY AQuery, LPCWSTR APath, PDH_HCOUNTER* ACounter) {
  if (!AQuery || !ACounter)
    return PDH_INVALID_ARGUMENT;
  auto* query = static_cast<TQuery*>(AQuery);
  double value = 0;
  bool rate = true;
  const wchar_t* service = Matches(APath, L"\\LogicalDisk(") ? L"PerfDisk" : L"PerfOS";
  if (ServiceDisabled(service))
    return PDH_CSTATUS_NO_OBJECT;
  if (Matches(APath, L"\\Processor(_Total)\\% Processor Time"))
    value = ProcessorPercent;
  else if (Matches(APath, L"\\Memory\\Available Bytes")) {
    value = AvailableBytes;
    rate = false;
  } else if (Matches(APath, L"\\LogicalDisk(", L")\\Avg. Disk Queue Length"))
    value = DiskQueueLength;
  else
    return PDH_CSTATUS_NO_COUNTER;
  query->Counters = new TCounter{query, value, rate, query->Counters};
  *ACounter = query->Counters;
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

PDH_FUNCTION PdhOpenQueryW(LPCWSTR, DWORD_PTR, PDH_HQUERY* AQuery) {
  if (!AQuery)
    return PDH_INVALID_ARGUMENT;
  *AQuery = new TQuery;
  return ERROR_SUCCESS;
}

PDH_FUNCTION PdhAddEnglishCounterW(PDH_HQUERY AQuery, LPCWSTR APath, DWORD_PTR, PDH_HCOUNTER* ACounter) {
  return AddCounter(AQuery, APath, ACounter);
}

PDH_FUNCTION PdhAdd009CounterW(PDH_HQUERY AQuery, LPCWSTR APath, DWORD_PTR, PDH_HCOUNTER* ACounter) {
  return AddCounter(AQuery, APath, ACounter);
}

PDH_FUNCTION PdhCollectQueryData(PDH_HQUERY AQuery) {
  if (!AQuery)
    return PDH_INVALID_HANDLE;
  auto* query = static_cast<TQuery*>(AQuery);
  if (!query->Counters)
    return PDH_NO_DATA;
  ++query->Collections;
  return ERROR_SUCCESS;
}

PDH_FUNCTION PdhGetFormattedCounterValue(PDH_HCOUNTER ACounter, DWORD, LPDWORD AType, PPDH_FMT_COUNTERVALUE AValue) {
  if (!ACounter || !AValue)
    return PDH_INVALID_ARGUMENT;
  const auto* counter = static_cast<const TCounter*>(ACounter);
  if (AType)
    *AType = 0;
  if (counter->Query->Collections < (counter->Rate ? 2u : 1u)) {
    AValue->CStatus = PDH_CSTATUS_INVALID_DATA;
    return PDH_INVALID_DATA;
  }
  AValue->CStatus = PDH_CSTATUS_VALID_DATA;
  AValue->doubleValue = counter->Value;
  return ERROR_SUCCESS;
}

PDH_FUNCTION PdhCloseQuery(PDH_HQUERY AQuery) {
  if (!AQuery)
    return PDH_INVALID_HANDLE;
  const std::unique_ptr<TQuery> query(static_cast<TQuery*>(AQuery));
  for (TCounter* counter = query->Counters; counter;) {
    const std::unique_ptr<TCounter> owned(counter);
    counter = counter->Next;
  }
  return ERROR_SUCCESS;
}

}  // extern "C"
