#include <windows.h>

#include <vector>

#include "platform/SettingsKey.h"
#include "platform/SystemError.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {
namespace {

class TRegistryKey final : public ISettingsKey {
public:
  explicit TRegistryKey(HKEY AKey) : FKey(AKey) {}
  ~TRegistryKey() override { RegCloseKey(FKey); }
  TRegistryKey(const TRegistryKey&) = delete;
  TRegistryKey& operator=(const TRegistryKey&) = delete;

  std::optional<TRegValue> Read(const std::string& AName) override {
    const std::wstring name = ToWide(AName);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(FKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return std::nullopt;
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(FKey, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
      return std::nullopt;
    data.resize(size);
    TRegValue value;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0')
        text.pop_back();
      value.Type = type == REG_SZ ? TRegValueType::String : TRegValueType::ExpandString;
      value.Data = ToUtf8(text);
      return value;
    }
    case REG_DWORD:
      value.Type = TRegValueType::DWord;
      break;
    case REG_BINARY:
      value.Type = TRegValueType::Binary;
      break;
    default:
      value.Type = TRegValueType::Other;
      break;
    }
    value.Data.assign(reinterpret_cast<const char*>(data.data()), data.size());
    return value;
  }

  void Write(const std::string& AName, const TRegValue& AValue) override {
    const std::wstring name = ToWide(AName);
    LSTATUS status;
    if (AValue.Type == TRegValueType::String || AValue.Type == TRegValueType::ExpandString) {
      const std::wstring text = ToWide(AValue.Data);
      status = RegSetValueExW(FKey, name.c_str(), 0, AValue.Type == TRegValueType::String ? REG_SZ : REG_EXPAND_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    } else {
      const DWORD type = AValue.Type == TRegValueType::DWord ? REG_DWORD : REG_BINARY;
      status = RegSetValueExW(FKey, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(AValue.Data.data()),
                              static_cast<DWORD>(AValue.Data.size()));
    }
    if (status != ERROR_SUCCESS)
      RaiseOSError(static_cast<int>(status));
  }

private:
  HKEY FKey;
};

class TRegistryHive final : public ISettingsHive {
public:
  explicit TRegistryHive(std::wstring APath) : FPath(std::move(APath)) {}

  std::unique_ptr<ISettingsKey> OpenForRead() const override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, FPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<TRegistryKey>(key);
  }

  std::unique_ptr<ISettingsKey> OpenForWrite() const override {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, FPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<TRegistryKey>(key);
  }

private:
  std::wstring FPath;
};

}  // namespace

std::unique_ptr<ISettingsHive> CurrentUserKey(const std::string& AKeyPath) {
  // The registry takes sub-key paths without the leading separator.
  std::wstring path = ToWide(AKeyPath);
  while (!path.empty() && path.front() == L'\\')
    path.erase(0, 1);
  return std::make_unique<TRegistryHive>(std::move(path));
}

}  // namespace orvella::platform
