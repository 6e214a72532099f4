#include "platform/FormatSettings.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {
namespace {

std::string LocaleText(LCTYPE AType, const char* ADefault) {
  wchar_t buffer[16];
  const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, AType, buffer, 16);
  return length > 1 ? ToUtf8(std::wstring(buffer, static_cast<size_t>(length - 1))) : ADefault;
}

}  // namespace

const TFormatSettings& UserFormatSettings() {
  static const TFormatSettings Settings{LocaleText(LOCALE_SDECIMAL, "."), LocaleText(LOCALE_STIME, ":")};
  return Settings;
}

}  // namespace orvella::platform
