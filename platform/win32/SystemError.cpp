#include "platform/SystemError.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {

int LastErrorCode() { return static_cast<int>(GetLastError()); }

std::string SysErrorMessage(int ACode) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(ACode), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide(text ? text : L"", length);
  LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
    wide.pop_back();
  return ToUtf8(wide);
}

}  // namespace orvella::platform
