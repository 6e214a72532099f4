#pragma once
// A settings key of the current user that keeps the registry's value types.
#include <memory>
#include <optional>
#include <string>

namespace orvella::platform {

enum class TRegValueType { String, ExpandString, DWord, Binary, Other };

struct TRegValue {
  TRegValueType Type = TRegValueType::Other;
  // Strings as UTF-8 text; a DWord as its 4 bytes, little-endian; binary data as it is.
  std::string Data;
};

// An open key; closed when the object goes.
class ISettingsKey {
public:
  virtual ~ISettingsKey() = default;
  // None when the value is missing.
  virtual std::optional<TRegValue> Read(const std::string& AName) = 0;
  // Replaces the value; a failure raises EOSError.
  virtual void Write(const std::string& AName, const TRegValue& AValue) = 0;
};

// Where a key lives; opening it is the only step that may quietly fail.
class ISettingsHive {
public:
  virtual ~ISettingsHive() = default;
  // None when the key does not exist or cannot be read.
  virtual std::unique_ptr<ISettingsKey> OpenForRead() const = 0;
  // Creates the key when missing; none when it can neither be opened nor created.
  virtual std::unique_ptr<ISettingsKey> OpenForWrite() const = 0;
};

// The key AKeyPath ("\Software\maker\product") of the current user.
std::unique_ptr<ISettingsHive> CurrentUserKey(const std::string& AKeyPath);

}  // namespace orvella::platform
