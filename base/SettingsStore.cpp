#include "base/SettingsStore.h"

namespace orvella {
namespace {

std::optional<platform::TRegValue> ReadValue(const std::string& AName, const platform::ISettingsHive& AKey) {
  const std::unique_ptr<platform::ISettingsKey> key = AKey.OpenForRead();
  if (!key)
    return std::nullopt;
  return key->Read(AName);
}

void WriteValue(const std::string& AName, const platform::TRegValue& AValue, const platform::ISettingsHive& AKey) {
  if (const std::unique_ptr<platform::ISettingsKey> key = AKey.OpenForWrite())
    key->Write(AName, AValue);
}

}  // namespace

const platform::ISettingsHive& SettingsKey() {
  static const std::unique_ptr<platform::ISettingsHive> Key = platform::CurrentUserKey(SettingsKeyPath);
  return *Key;
}

bool ReadRegBool(const std::string& AName, const platform::ISettingsHive& AKey) {
  const std::optional<platform::TRegValue> value = ReadValue(AName, AKey);
  return value && value->Type == platform::TRegValueType::DWord && value->Data.size() == 4 &&
         value->Data != std::string(4, '\0');
}

void WriteRegBool(const std::string& AName, bool AValue, const platform::ISettingsHive& AKey) {
  WriteValue(AName, {platform::TRegValueType::DWord, std::string{AValue ? '\1' : '\0', '\0', '\0', '\0'}}, AKey);
}

std::string ReadRegString(const std::string& AName, const platform::ISettingsHive& AKey) {
  const std::optional<platform::TRegValue> value = ReadValue(AName, AKey);
  if (value &&
      (value->Type == platform::TRegValueType::String || value->Type == platform::TRegValueType::ExpandString))
    return value->Data;
  return {};
}

void WriteRegString(const std::string& AName, const std::string& AValue, const platform::ISettingsHive& AKey) {
  WriteValue(AName, {platform::TRegValueType::String, AValue}, AKey);
}

std::optional<std::string> ReadRegBinary(const std::string& AName, size_t ASize,
                                         const platform::ISettingsHive& AKey) {
  const std::optional<platform::TRegValue> value = ReadValue(AName, AKey);
  if (value && value->Type == platform::TRegValueType::Binary && value->Data.size() == ASize)
    return value->Data;
  return std::nullopt;
}

void WriteRegBinary(const std::string& AName, const std::string& AData, const platform::ISettingsHive& AKey) {
  WriteValue(AName, {platform::TRegValueType::Binary, AData}, AKey);
}

}  // namespace orvella
