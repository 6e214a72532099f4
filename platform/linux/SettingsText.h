#pragma once
// The text of the settings file, apart from the file itself (its locks, its
// replacement and its damaged copies, linux/SettingsFile): a header line, one
// line per value "<type> <name>=<value>" with blanks, '=', '%' and control
// bytes written as %XX, and a closing line. A text without its closing line
// was cut short and is no settings text.
#include <map>
#include <optional>
#include <string>

#include "platform/SettingsKey.h"

namespace orvella::platform {

using TSettingsValues = std::map<std::string, TRegValue>;

// The text that holds AValues, in the order of their names.
std::string SettingsText(const TSettingsValues& AValues);
// The values that AText holds; none when it is no settings text.
std::optional<TSettingsValues> ParseSettingsText(const std::string& AText);

}  // namespace orvella::platform
