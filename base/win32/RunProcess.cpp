#include <windows.h>
#include <shellapi.h>

#include "platform/Exceptions.h"
#include "platform/SystemError.h"
#include "platform/win32/WideText.h"
#include "base/RunProcess.h"

namespace orvella {
namespace {

constexpr const char* UnitName = "uGlob";

class TOwnedHandle {
public:
  explicit TOwnedHandle(HANDLE AHandle = nullptr) : FHandle(AHandle) {}
  ~TOwnedHandle() {
    if (FHandle)
      CloseHandle(FHandle);
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  HANDLE Get() const { return FHandle; }
  HANDLE* Put() { return &FHandle; }

private:
  HANDLE FHandle;
};

bool ProcessIsElevated() {
  TOwnedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()))
    platform::RaiseLastOSError();
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) {
    // A system without elevation.
    if (GetLastError() == ERROR_INVALID_PARAMETER)
      return true;
    platform::RaiseLastOSError();
  }
  if (size != sizeof(DWORD))
    throw EAssertionFailed("TokenElevation read returned " + std::to_string(size) + " bytes", UnitName);
  return elevation.TokenIsElevated != 0;
}

}  // namespace

uint32_t RunProcess(const std::string& AFileName, const std::string& AParameters, bool AVisible, bool AElevated,
                    bool AWait) {
  if (AElevated && ProcessIsElevated())
    AElevated = false;

  const std::wstring fileName = platform::ToWide(AFileName);
  const std::wstring parameters = platform::ToWide(AParameters);
  const size_t separator = fileName.find_last_of(L"\\/:");
  const std::wstring directory = separator == std::wstring::npos ? std::wstring() : fileName.substr(0, separator + 1);
  const int showCommand = AVisible ? SW_SHOWNORMAL : SW_HIDE;

  TOwnedHandle process;
  if (AElevated) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_UNICODE;
    info.lpVerb = L"runas";
    info.lpFile = fileName.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = showCommand;
    if (!ShellExecuteExW(&info))
      platform::RaiseLastOSError(AFileName);
    *process.Put() = info.hProcess;
    if (!process.Get())
      throw EAssertionFailed("ShellExecuteExW returned no process handle", UnitName);
  } else {
    std::wstring commandLine = L"\"" + fileName + L"\" " + parameters;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info))
      platform::RaiseLastOSError(AFileName);
    CloseHandle(info.hThread);
    *process.Put() = info.hProcess;
  }

  if (!AWait)
    return StillActive;
  DWORD exitCode = 0;
  if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.Get(), &exitCode))
    platform::RaiseLastOSError(AFileName);
  return exitCode;
}

}  // namespace orvella
