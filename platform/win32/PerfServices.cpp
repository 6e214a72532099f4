#include <windows.h>

#include "platform/Exceptions.h"
#include "platform/PerfServices.h"
#include "platform/SystemDir.h"
#include "platform/SystemError.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {

namespace {

HKEY KeyOf(TOsHandle AHandle) { return reinterpret_cast<HKEY>(AHandle); }

// A key or kernel handle closed when it goes out of scope.
template <typename THandleType, auto Close>
class TOwned {
public:
  explicit TOwned(THandleType AHandle) : FHandle(AHandle) {}
  ~TOwned() { Close(FHandle); }
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;
  THandleType Get() const { return FHandle; }

private:
  THandleType FHandle;
};
using TKey = TOwned<HKEY, RegCloseKey>;
using THandle = TOwned<HANDLE, CloseHandle>;

bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64))
    RaiseLastOSError();
  return wow64 != FALSE;
}

class TWin32PerfServices final : public IPerfServices {
public:
  std::vector<TRepairCommand> PrepareRepairCommands() override {
    const std::string systemDir = SystemDirectory(false) + "\\";
    const std::string wow64Dir = SystemDirectory(true) + "\\";
    const bool wow64 = wow64Dir != "\\";
    // A 32-bit process under WOW64 sees SysWOW64 as its system directory:
    // with the redirection off for this thread, the system directory names the
    // 64-bit tools; it stays off. A 64-bit process sees both folders as they
    // are, and the call would fail there with ERROR_INVALID_FUNCTION.
    if (wow64 && RunsUnderWow64()) {
      PVOID previous = nullptr;
      if (!Wow64DisableWow64FsRedirection(&previous))
        RaiseLastOSError();
    }
    std::vector<TRepairCommand> commands{{systemDir + "lodctr", "/R"}};
    if (wow64)
      commands.push_back({wow64Dir + "lodctr", "/R"});
    commands.push_back({"WINMGMT", "/RESYNCPERF"});
    return commands;
  }

  bool EnableServiceCounters(const TServicesKey& AKey, const std::string& AServiceName) override {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExW(KeyOf(AKey.Handle()), ToWide(AServiceName + "\\Performance").c_str(), 0,
                                KEY_QUERY_VALUE | KEY_SET_VALUE, &opened);
    if (status != ERROR_SUCCESS)
      RaiseOSError(static_cast<int>(status));
    const TKey performance(opened);
    const wchar_t* const valueName = L"Disable Performance Counters";
    DWORD type = 0;
    DWORD value = 0;
    DWORD length = sizeof value;
    status = RegQueryValueExW(performance.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &length);
    switch (status) {
    case ERROR_SUCCESS:
      if (type != REG_DWORD || value == 0)
        return false;
      if (length != sizeof value)
        throw EAssertionFailed("Unexpected length of a REG_DWORD value", "PerfServices");
      value = 0;
      status = RegSetValueExW(performance.Get(), valueName, 0, type, reinterpret_cast<const BYTE*>(&value), length);
      if (status != ERROR_SUCCESS)
        RaiseOSError(static_cast<int>(status));
      return true;
    case ERROR_FILE_NOT_FOUND:
      return false;
    case ERROR_MORE_DATA:
      if (type == REG_DWORD)
        throw EAssertionFailed("A REG_DWORD value longer than 4 bytes", "PerfServices");
      return false;
    default:
      RaiseOSError(static_cast<int>(status));
    }
  }
};

}  // namespace

TServicesKey::~TServicesKey() {
  if (FHandle != 0)
    RegCloseKey(KeyOf(FHandle));
}

// Below HKEY_LOCAL_MACHINE.
std::string ServicesKeyPath() { return "SYSTEM\\CurrentControlSet\\services"; }

TServicesKey OpenServicesKey(const std::string& APath) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(APath).c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS)
    RaiseOSError(static_cast<int>(status));
  return TServicesKey(reinterpret_cast<TOsHandle>(key));
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

TServicesKey CopyServicesKey(uint32_t AProcessId, TOsHandle AHandle) {
  const HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, AProcessId);
  if (!process)
    RaiseLastOSError();
  const THandle owner(process);
  HANDLE copy = nullptr;
  if (!DuplicateHandle(owner.Get(), reinterpret_cast<HANDLE>(AHandle), GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    RaiseLastOSError();
  return TServicesKey(reinterpret_cast<TOsHandle>(copy));
}

IPerfServices& SystemPerfServices() {
  static TWin32PerfServices services;
  return services;
}

}  // namespace orvella::platform
