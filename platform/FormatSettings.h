#pragma once
// The separators of the user's regional settings that log lines use.
#include <string>

namespace orvella::platform {

struct TFormatSettings {
  std::string DecimalSeparator = ".";
  std::string TimeSeparator = ":";
};

// Read once from the user's locale; the same value for the whole run.
const TFormatSettings& UserFormatSettings();

}  // namespace orvella::platform
