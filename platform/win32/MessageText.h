#pragma once
// A message of a message table (the system's, or a module's) as UTF-8.
#include <windows.h>

#include <string>

#include "platform/win32/WideText.h"

namespace orvella::platform {

// AModule 0: the system's own table. Trailing line breaks and blanks go.
inline std::string MessageText(HMODULE AModule, DWORD ACode) {
  const DWORD source = AModule ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | source | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      AModule, ACode, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide(text ? text : L"", length);
  LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
    wide.pop_back();
  return ToUtf8(wide);
}

}  // namespace orvella::platform
