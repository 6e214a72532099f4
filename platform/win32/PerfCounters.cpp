// Performance Data Helper. PdhAddEnglishCounterW is bound on first use; where
// pdh.dll lacks it (before Vista) PdhAdd009CounterW, which takes the same
// arguments and also reads the path in English, stands in.
#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include <cstdio>

#include "platform/Exceptions.h"
#include "platform/PerfCounters.h"
#include "platform/SystemError.h"
#include "platform/win32/MessageText.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {
namespace {

using TAddCounter = PDH_STATUS(WINAPI*)(PDH_HQUERY, LPCWSTR, DWORD_PTR, PDH_HCOUNTER*);

TAddCounter BoundAddCounter() {
  static const TAddCounter bound = [] {
    const HMODULE pdh = GetModuleHandleW(L"pdh.dll");
    FARPROC entry = pdh ? GetProcAddress(pdh, "PdhAddEnglishCounterW") : nullptr;
    if (!entry && pdh)
      entry = GetProcAddress(pdh, "PdhAdd009CounterW");
    // Through void(*)(), the generic function pointer, as GetProcAddress answers untyped.
    return reinterpret_cast<TAddCounter>(reinterpret_cast<void (*)()>(entry));
  }();
  if (!bound)
    RaiseLastOSError();
  return bound;
}

class TPdhCounters final : public IPerfCounters {
public:
  TPdhStatus OpenQuery(TOsHandle& AQuery) override {
    PDH_HQUERY query = nullptr;
    const PDH_STATUS status = PdhOpenQueryW(nullptr, 0, &query);
    AQuery = reinterpret_cast<TOsHandle>(query);
    return static_cast<TPdhStatus>(status);
  }

  TPdhStatus AddEnglishCounter(TOsHandle AQuery, const std::string& APath, TOsHandle& ACounter) override {
    PDH_HCOUNTER counter = nullptr;
    const PDH_STATUS status =
        BoundAddCounter()(reinterpret_cast<PDH_HQUERY>(AQuery), ToWide(APath).c_str(), 0, &counter);
    ACounter = reinterpret_cast<TOsHandle>(counter);
    return static_cast<TPdhStatus>(status);
  }

  TPdhStatus CollectQueryData(TOsHandle AQuery) override {
    return static_cast<TPdhStatus>(::PdhCollectQueryData(reinterpret_cast<PDH_HQUERY>(AQuery)));
  }

  TPdhStatus GetFormattedCounterValue(TOsHandle ACounter, TPdhFmtCounterValue& AValue) override {
    PDH_FMT_COUNTERVALUE value{};
    value.CStatus = 0;
    const PDH_STATUS status =
        ::PdhGetFormattedCounterValue(reinterpret_cast<PDH_HCOUNTER>(ACounter), PDH_FMT_DOUBLE, nullptr, &value);
    AValue.CStatus = static_cast<TPdhStatus>(value.CStatus);
    AValue.DoubleValue = value.doubleValue;
    return static_cast<TPdhStatus>(status);
  }

  void CloseQuery(TOsHandle AQuery) override { ::PdhCloseQuery(reinterpret_cast<PDH_HQUERY>(AQuery)); }

  bool TotalPhysicalMemory(uint64_t& ABytes, int& ALastError) override {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;  // 64
    if (!GlobalMemoryStatusEx(&status)) {
      ALastError = static_cast<int>(GetLastError());
      return false;
    }
    ABytes = status.ullTotalPhys;
    return true;
  }
};

}  // namespace

IPerfCounters& SystemPerfCounters() {
  static TPdhCounters counters;
  return counters;
}

// A pdh.dll without its message table (Wine's) must not leave the error
// without words: the status number stands in.
std::string PdhStatusText(TPdhStatus AStatus) {
  std::string text = MessageText(GetModuleHandleW(L"pdh.dll"), AStatus);
  if (text.empty()) {
    char number[32];
    std::snprintf(number, sizeof number, "PDH status 0x%08X", static_cast<unsigned>(AStatus));
    text = number;
  }
  return text;
}

}  // namespace orvella::platform
