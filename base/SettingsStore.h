#pragma once
// The user's settings: one key of the current user, opened for every single
// read or write and closed again at once.
#include <optional>
#include <string>

#include "platform/SettingsKey.h"

namespace orvella {

inline constexpr const char* SettingsKeyPath = "\\Software\\tamsket\\orvella";

// The settings key of the current user.
const platform::ISettingsHive& SettingsKey();

// True only for a stored 32-bit number other than 0; anything else is false.
bool ReadRegBool(const std::string& AName, const platform::ISettingsHive& AKey = SettingsKey());
// Stores 1 or 0. A key that cannot be opened or created stores nothing and says
// nothing; a failing write raises EOSError.
void WriteRegBool(const std::string& AName, bool AValue, const platform::ISettingsHive& AKey = SettingsKey());

// A stored string or expandable string; anything else is the empty string.
std::string ReadRegString(const std::string& AName, const platform::ISettingsHive& AKey = SettingsKey());
void WriteRegString(const std::string& AName, const std::string& AValue,
                    const platform::ISettingsHive& AKey = SettingsKey());

// Binary data of exactly ASize bytes; none for anything else.
std::optional<std::string> ReadRegBinary(const std::string& AName, size_t ASize,
                                         const platform::ISettingsHive& AKey = SettingsKey());
void WriteRegBinary(const std::string& AName, const std::string& AData,
                    const platform::ISettingsHive& AKey = SettingsKey());

}  // namespace orvella
