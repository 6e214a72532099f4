#include "platform/RouteTracer.h"

#include <windows.h>

#include "platform/SystemError.h"

namespace orvella::platform {

std::vector<std::string> RouteTraceCommand(const std::string& AHost) { return {"pathping", AHost}; }

std::string ConsoleCharset() { return std::to_string(GetOEMCP()); }

// MultiByteToWideChar without MB_ERR_INVALID_CHARS puts U+FFFD for bytes that
// are invalid in the code page.
std::string ConsoleTextToUtf8(std::string_view ABytes, const std::string& ACharset) {
  if (ABytes.empty())
    return {};
  const UINT codePage = static_cast<UINT>(std::stoul(ACharset));
  const int length = static_cast<int>(ABytes.size());
  const int wideSize = MultiByteToWideChar(codePage, 0, ABytes.data(), length, nullptr, 0);
  if (wideSize == 0)
    RaiseLastOSError();
  std::wstring wide(static_cast<size_t>(wideSize), L'\0');
  MultiByteToWideChar(codePage, 0, ABytes.data(), length, wide.data(), wideSize);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace orvella::platform
