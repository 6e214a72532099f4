#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "platform/IpErrorString.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {

bool GetIpErrorString(uint32_t ACode, std::string& AText) {
  wchar_t buffer[256] = {};
  DWORD size = 255;
  if (::GetIpErrorString(ACode, buffer, &size) != NO_ERROR)
    return false;
  AText = ToUtf8(buffer);
  return true;
}

}  // namespace orvella::platform
