#include "platform/SettingsKey.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Exceptions.h"

namespace orvella::platform {
namespace {

// A key of its own under the prefix's HKEY_CURRENT_USER, removed around each test.
struct SettingsKeyTest : ::testing::Test {
  const wchar_t* const Path = L"Software\\tamsket\\orvella-test";
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, Path); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, Path); }

  // The type the registry itself holds for a value; REG_NONE when missing.
  DWORD StoredType(const wchar_t* AName) {
    DWORD type = REG_NONE;
    RegGetValueW(HKEY_CURRENT_USER, Path, AName, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr);
    return type;
  }
  void StoreRaw(const wchar_t* AName, DWORD AType, const void* AData, DWORD ASize) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    RegSetValueExW(key, AName, 0, AType, static_cast<const BYTE*>(AData), ASize);
    RegCloseKey(key);
  }
  std::unique_ptr<ISettingsHive> Hive = CurrentUserKey("\\Software\\tamsket\\orvella-test");
};

TEST_F(SettingsKeyTest, AMissingKeyIsNotCreatedByReadingAndIsByTheFirstWrite) {
  EXPECT_EQ(Hive->OpenForRead(), nullptr);
  HKEY key;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, Path, 0, KEY_READ, &key), 0);
  Hive->OpenForWrite()->Write("ClientId", {TRegValueType::String, "1234"});
  EXPECT_EQ(StoredType(L"ClientId"), static_cast<DWORD>(REG_SZ));
}

TEST_F(SettingsKeyTest, EachTypeIsStoredAsTheRegistrysOwnType) {
  const auto key = Hive->OpenForWrite();
  key->Write("Name", {TRegValueType::String, "Иван"});
  key->Write("Path", {TRegValueType::ExpandString, "%TEMP%\\x"});
  key->Write("DisableNotifications", {TRegValueType::DWord, std::string("\x01\0\0\0", 4)});
  key->Write("MiniModeUTC", {TRegValueType::Binary, std::string("\x00\x01\x02\x03\x04\x05\x06\x07", 8)});
  EXPECT_EQ(StoredType(L"Name"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(StoredType(L"Path"), static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(StoredType(L"DisableNotifications"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(StoredType(L"MiniModeUTC"), static_cast<DWORD>(REG_BINARY));

  wchar_t name[16] = {};
  DWORD size = sizeof name;
  RegGetValueW(HKEY_CURRENT_USER, Path, L"Name", RRF_RT_REG_SZ, nullptr, name, &size);
  EXPECT_EQ(std::wstring(name), L"Иван") << "UTF-8 must arrive as UTF-16 in the registry";
  DWORD number = 0;
  size = sizeof number;
  RegGetValueW(HKEY_CURRENT_USER, Path, L"DisableNotifications", RRF_RT_REG_DWORD, nullptr, &number, &size);
  EXPECT_EQ(number, 1u);

  const auto reader = Hive->OpenForRead();
  EXPECT_EQ(reader->Read("Name")->Data, "Иван");
  EXPECT_EQ(reader->Read("Path")->Type, TRegValueType::ExpandString);
  EXPECT_EQ(reader->Read("MiniModeUTC")->Data.size(), 8u);
  EXPECT_FALSE(reader->Read("Missing").has_value());
}

TEST_F(SettingsKeyTest, ValuesWrittenByOthersKeepTheirTypes) {
  StoreRaw(L"ClientId", REG_EXPAND_SZ, L"42", 6);
  StoreRaw(L"Empty", REG_SZ, L"", 2);
  StoreRaw(L"DisableNotifications", REG_SZ, L"1", 4);
  StoreRaw(L"Odd", REG_MULTI_SZ, L"a\0b\0", 10);
  const auto reader = Hive->OpenForRead();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Read("ClientId")->Type, TRegValueType::ExpandString);
  EXPECT_EQ(reader->Read("ClientId")->Data, "42");
  EXPECT_EQ(reader->Read("Empty")->Data, "");
  EXPECT_EQ(reader->Read("DisableNotifications")->Type, TRegValueType::String);
  EXPECT_EQ(reader->Read("Odd")->Type, TRegValueType::Other);
}

}  // namespace
}  // namespace orvella::platform
