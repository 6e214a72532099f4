#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "platform/IpErrorString.h"
#include "platform/IpStatusTexts.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {

namespace {

// Wine (8 and earlier) exports GetIpErrorString as a stub that ends the
// calling process, which would happen at the first failed ping.
bool UnderWine() {
  static const bool wine = [] {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
  }();
  return wine;
}

}  // namespace

bool GetIpErrorString(uint32_t ACode, std::string& AText) {
  if (UnderWine())
    return IpStatusText(ACode, AText);
  wchar_t buffer[256] = {};
  DWORD size = 255;
  if (::GetIpErrorString(ACode, buffer, &size) != NO_ERROR)
    return false;
  AText = ToUtf8(buffer);
  return true;
}

}  // namespace orvella::platform
