#include <windows.h>

#include "platform/SystemDir.h"
#include "platform/SystemError.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {

std::string SystemDirectory(bool AWow64) {
  using TGetDirectory = UINT(WINAPI*)(LPWSTR, UINT);
  TGetDirectory get = GetSystemDirectoryW;
  if (AWow64) {
    get = reinterpret_cast<TGetDirectory>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemWow64DirectoryW")));
    if (!get)
      return {};
  }
  const UINT needed = get(nullptr, 0);
  if (needed == 0) {
    // A 32-bit system has no WOW64 folder.
    if (AWow64 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
      return {};
    RaiseLastOSError();
  }
  std::wstring folder(needed - 1, L'\0');
  if (get(folder.data(), needed) != needed - 1)
    RaiseLastOSError();
  return ToUtf8(folder);
}

// The drive letter and its colon.
std::string VolumeOfPath(const std::string& APath) { return APath.substr(0, 2); }

}  // namespace orvella::platform
