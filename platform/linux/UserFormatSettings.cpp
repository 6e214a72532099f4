#include <langinfo.h>
#include <locale.h>

#include "platform/FormatSettings.h"

namespace orvella::platform {
namespace {

TFormatSettings ReadUserLocale() {
  TFormatSettings settings;
  // The user's LC_NUMERIC without touching the process-wide locale.
  if (locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    if (radix && *radix)
      settings.DecimalSeparator = radix;
    freelocale(user);
  }
  return settings;
}

}  // namespace

const TFormatSettings& UserFormatSettings() {
  static const TFormatSettings Settings = ReadUserLocale();
  return Settings;
}

}  // namespace orvella::platform
