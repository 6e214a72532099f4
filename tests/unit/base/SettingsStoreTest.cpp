#include "base/SettingsStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Exceptions.h"
#include "platform/linux/SettingsFile.h"
#include "tests/support/ChildRun.h"
#include "tests/support/FileText.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using platform::TRegValue;
using platform::TRegValueType;
using platform::TSettingsFile;

std::vector<std::string> DamagedCopies(const std::string& AFolder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder)) {
    if (entry.path().filename().string().find(TSettingsFile::DamagedSuffix) != std::string::npos)
      names.push_back(entry.path().string());
  }
  return names;
}

class SettingsStoreTest : public ::testing::Test {
protected:
  void Plant(const std::string& AName, TRegValueType AType, const std::string& AData) {
    FKey.OpenForWrite()->Write(AName, TRegValue{AType, AData});
  }

  testing::TTempDir FDir;
  TSettingsFile FKey{FDir / "tamsket/orvella.conf"};
};

TEST_F(SettingsStoreTest, MissingKeyGivesDefaultsAndTheFirstWriteCreatesIt) {
  EXPECT_FALSE(ReadRegBool("DisableNotifications", FKey));
  EXPECT_EQ(ReadRegString("ClientId", FKey), "");
  EXPECT_EQ(ReadRegBinary("MiniModeUTC", 8, FKey), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(FKey.FileName()));

  WriteRegString("ClientId", "12345", FKey);
  EXPECT_TRUE(std::filesystem::exists(FKey.FileName()));
  EXPECT_EQ(ReadRegString("ClientId", FKey), "12345");
  EXPECT_FALSE(ReadRegBool("DisableNotifications", FKey));
}

TEST_F(SettingsStoreTest, ValuesKeepTheirTypes) {
  WriteRegBool("DisableMonitoring_cpu", true, FKey);
  WriteRegBool("DisableMonitoring_ram", false, FKey);
  EXPECT_TRUE(ReadRegBool("DisableMonitoring_cpu", FKey));
  EXPECT_FALSE(ReadRegBool("DisableMonitoring_ram", FKey));
  WriteRegBool("DisableMonitoring_cpu", false, FKey);
  EXPECT_FALSE(ReadRegBool("DisableMonitoring_cpu", FKey));

  // Any number but 0 is true; a number stored as text is not a number.
  Plant("Two", TRegValueType::DWord, std::string("\2\0\0\0", 4));
  EXPECT_TRUE(ReadRegBool("Two", FKey));
  Plant("DisableNotifications", TRegValueType::String, "1");
  EXPECT_FALSE(ReadRegBool("DisableNotifications", FKey));
  EXPECT_EQ(ReadRegString("Two", FKey), "");

  Plant("ClientId", TRegValueType::ExpandString, "%HOME%x");
  EXPECT_EQ(ReadRegString("ClientId", FKey), "%HOME%x");
  WriteRegString("Name", "", FKey);
  EXPECT_EQ(ReadRegString("Name", FKey), "");

  WriteRegBinary("MiniModeUTC", std::string("\1\2\3\4\5\6\7\x08", 8), FKey);
  EXPECT_EQ(ReadRegBinary("MiniModeUTC", 8, FKey), std::string("\1\2\3\4\5\6\7\x08", 8));
  EXPECT_EQ(ReadRegBinary("MiniModeUTC", 4, FKey), std::nullopt);
  Plant("Short", TRegValueType::Binary, std::string("\0\0\0\0", 4));
  EXPECT_EQ(ReadRegBinary("Short", 8, FKey), std::nullopt);
  EXPECT_FALSE(ReadRegBool("Short", FKey));
}

TEST_F(SettingsStoreTest, AnyTextSurvivesTheFile) {
  const std::string awkward = "Иван Петров = 100% \"x\"\r\nline two\t\x01 end ";
  WriteRegString("Name", awkward, FKey);
  WriteRegString("odd name=with %", "v", FKey);
  WriteRegBinary("Bytes", std::string("\0\n\r =%\xff", 7), FKey);
  EXPECT_EQ(ReadRegString("Name", FKey), awkward);
  EXPECT_EQ(ReadRegString("odd name=with %", FKey), "v");
  EXPECT_EQ(ReadRegBinary("Bytes", 7, FKey), std::string("\0\n\r =%\xff", 7));
}

TEST_F(SettingsStoreTest, DamagedOrCutShortFileReadsEmptyAndIsKeptAside) {
  WriteRegString("ClientId", "12345", FKey);
  const std::string whole = testing::ReadFileText(FKey.FileName());
  for (const std::string& damage :
       {whole.substr(0, whole.size() - 4), std::string("\x89PNG garbage\n"), whole + "sz extra=1\n", std::string()}) {
    std::ofstream(FKey.FileName(), std::ios::trunc) << damage;
    EXPECT_EQ(ReadRegString("ClientId", FKey), "") << damage;
    const std::vector<std::string> copies = DamagedCopies(FDir / "tamsket");
    ASSERT_EQ(copies.size(), 1u) << damage;
    EXPECT_EQ(testing::ReadFileText(copies[0]), damage);
    std::filesystem::remove(copies[0]);
  }

  // A write over a damaged file starts afresh and does not overwrite the damage.
  std::ofstream(FKey.FileName(), std::ios::trunc) << "junk";
  WriteRegBool("DisableNotifications", true, FKey);
  EXPECT_TRUE(ReadRegBool("DisableNotifications", FKey));
  EXPECT_EQ(ReadRegString("ClientId", FKey), "");
  const std::vector<std::string> copies = DamagedCopies(FDir / "tamsket");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(testing::ReadFileText(copies[0]), "junk");
}

TEST_F(SettingsStoreTest, OnlyTheLastDamagedCopiesAreKeptAndAHugeFileIsDamaged) {
  std::filesystem::create_directories(FDir / "tamsket");
  for (int i = 0; i < 5; ++i) {
    std::ofstream(FKey.FileName(), std::ios::trunc) << "junk " << i;
    EXPECT_EQ(ReadRegString("ClientId", FKey), "");
  }
  std::vector<std::string> kept;
  for (const std::string& copy : DamagedCopies(FDir / "tamsket"))
    kept.push_back(testing::ReadFileText(copy));
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{"junk 2", "junk 3", "junk 4"}));

  // Well formed, but larger than any real settings file: it is not read.
  const std::string huge(TSettingsFile::MaxFileSize, 'a');
  std::ofstream(FKey.FileName(), std::ios::trunc) << "orvella-settings 1\nsz ClientId=" << huge << "\nend\n";
  EXPECT_EQ(ReadRegString("ClientId", FKey).size(), 0u);
  EXPECT_FALSE(std::filesystem::exists(FKey.FileName()));
  EXPECT_EQ(DamagedCopies(FDir / "tamsket").size(), 3u);

  // Nor is such a file ever written: the value is refused and the file stays.
  WriteRegString("ClientId", "12345", FKey);
  EXPECT_THROW(WriteRegString("Name", huge, FKey), EOSError);
  EXPECT_EQ(ReadRegString("ClientId", FKey), "12345");
  EXPECT_EQ(ReadRegString("Name", FKey), "");
}

TEST_F(SettingsStoreTest, WriterKilledHalfWayLeavesTheEarlierFile) {
  WriteRegString("ClientId", "12345", FKey);
  // Large values make each write take long enough to be cut at random points.
  const std::string big(TSettingsFile::MaxFileSize * 3 / 4, 'a');
  // One write of the big value takes this long here; the kills are spread over two of them.
  const auto before = std::chrono::steady_clock::now();
  WriteRegString("Big", std::string(big.size(), 'b'), FKey);
  const auto period = std::chrono::steady_clock::now() - before;
  int cut = 0;
  for (int round = 0; round < 20; ++round) {
    testing::TChildRun writer([&]() -> int {
      for (char c = 'b';; c = c == 'z' ? 'b' : static_cast<char>(c + 1))
        WriteRegString("Big", std::string(big.size(), c), FKey);
    });
    // Kill points spread over every phase of the writes: reading, encoding, writing, syncing.
    std::this_thread::sleep_for(period * (1 + round) / 10);
    writer.Stop(SIGKILL);
    ASSERT_EQ(ReadRegString("ClientId", FKey), "12345") << round;
    const std::string value = ReadRegString("Big", FKey);
    if (std::filesystem::exists(FKey.FileName() + ".new"))
      ++cut;
    {
      EXPECT_EQ(value.size(), big.size());
      EXPECT_EQ(value.find_first_not_of(value[0]), std::string::npos);
    }
  }
  EXPECT_TRUE(DamagedCopies(FDir / "tamsket").empty());
  std::printf("%d of 20 writers were killed with a side file in progress\n", cut);
}

TEST_F(SettingsStoreTest, TwoWriterProcessesKeepEachOthersValues) {
  constexpr int Count = 150;
  const auto writer = [&](const std::string& APrefix) {
    return [&, APrefix] {
      for (int i = 0; i < Count; ++i)
        WriteRegString(APrefix + std::to_string(i), std::to_string(i), FKey);
      return 0;
    };
  };
  testing::TChildRun first(writer("A"));
  testing::TChildRun second(writer("B"));
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);
  for (int i = 0; i < Count; ++i) {
    EXPECT_EQ(ReadRegString("A" + std::to_string(i), FKey), std::to_string(i));
    EXPECT_EQ(ReadRegString("B" + std::to_string(i), FKey), std::to_string(i));
  }
}

TEST_F(SettingsStoreTest, FolderWithoutWritePermissionStoresNothingAndSaysNothing) {
  WriteRegString("ClientId", "12345", FKey);
  chmod(FDir.Path().c_str(), 0755);
  chmod((FDir / "tamsket").c_str(), 0555);
  chmod(FKey.FileName().c_str(), 0644);
  TSettingsFile fresh(FDir / "tamsket/sub/orvella.conf");
  // Root writes anywhere, so the check runs as a user without rights there.
  testing::TChildRun asUser(
      [&] {
        WriteRegString("ClientId", "999", FKey);
        WriteRegBool("DisableNotifications", true, FKey);
        WriteRegBool("DisableNotifications", true, fresh);
        return ReadRegString("ClientId", FKey) == "12345" && !ReadRegBool("DisableNotifications", fresh) ? 0 : 4;
      },
      {.AsNobody = true});
  EXPECT_EQ(asUser.Wait(), 0);
  EXPECT_EQ(ReadRegString("ClientId", FKey), "12345");
  EXPECT_FALSE(ReadRegBool("DisableNotifications", FKey));
  EXPECT_FALSE(std::filesystem::exists(FDir / "tamsket/sub"));
}

TEST_F(SettingsStoreTest, FileThatCannotBeReadIsNotReplaced) {
  WriteRegString("ClientId", "12345", FKey);
  WriteRegBool("DisableMonitoring_cpu", true, FKey);
  const std::string before = testing::ReadFileText(FKey.FileName());
  // Root reads anything, so under root the user who cannot read the file is
  // another one; any other user is kept out of his own file by its mode.
  chmod(FDir.Path().c_str(), 0755);
  if (geteuid() == 0) {
    ASSERT_EQ(chown((FDir / "tamsket").c_str(), 65534, 65534), 0);
    for (const std::string& name : {FKey.FileName(), FKey.FileName() + ".lock"})
      ASSERT_EQ(chown(name.c_str(), 65534, 65534), 0) << name;
  }
  chmod(FKey.FileName().c_str(), 0200);
  testing::TChildRun asUser(
      [&] {
        if (ReadRegString("ClientId", FKey) != "")
          return 4;
        WriteRegBool("DisableNotifications", true, FKey);
        return 0;
      },
      {.AsNobody = true});
  EXPECT_EQ(asUser.Wait(), 0);
  EXPECT_EQ(testing::ReadFileText(FKey.FileName()), before);
  EXPECT_EQ(ReadRegString("ClientId", FKey), "12345");
  EXPECT_TRUE(ReadRegBool("DisableMonitoring_cpu", FKey));
}

TEST_F(SettingsStoreTest, PlantedLinksAreNeverFollowed) {
  WriteRegString("ClientId", "12345", FKey);
  const std::string victim = FDir / "victim";
  std::ofstream(victim) << "precious";

  // A link, or another file's hard link, in place of the side file: the write
  // goes to a file of its own and the link's target stays as it was.
  ASSERT_EQ(symlink(victim.c_str(), (FKey.FileName() + ".new").c_str()), 0);
  WriteRegString("Name", "first", FKey);
  ASSERT_EQ(link(victim.c_str(), (FKey.FileName() + ".new").c_str()), 0);
  WriteRegString("Phone", "second", FKey);
  EXPECT_EQ(testing::ReadFileText(victim), "precious");
  EXPECT_EQ(ReadRegString("Name", FKey), "first");
  EXPECT_EQ(ReadRegString("Phone", FKey), "second");
  EXPECT_EQ(ReadRegString("ClientId", FKey), "12345");

  // A link in place of the lock file is not a lock: nothing is created where it
  // points, nothing is written, and the stored values stay.
  const std::string lock = FKey.FileName() + ".lock";
  for (const std::string& target : {FDir / "created", victim}) {
    std::filesystem::remove(lock);
    ASSERT_EQ(symlink(target.c_str(), lock.c_str()), 0);
    WriteRegString("Name", "third", FKey);
    EXPECT_EQ(ReadRegString("Name", FKey), "first");
  }
  EXPECT_FALSE(std::filesystem::exists(FDir / "created"));
  EXPECT_EQ(testing::ReadFileText(victim), "precious");

  // Nor does a pipe in the settings file's place stop a reader for good.
  std::filesystem::remove(lock);
  std::filesystem::remove(FKey.FileName());
  ASSERT_EQ(mkfifo(FKey.FileName().c_str(), 0600), 0);
  testing::TChildRun reader([&] {
    alarm(10);
    return ReadRegString("ClientId", FKey) == "" ? 0 : 4;
  });
  EXPECT_EQ(reader.Wait(), 0);
}

TEST(SettingsKey, LivesInTheUsersConfigFolder) {
  testing::TTempDir dir;
  const std::unique_ptr<platform::ISettingsHive> key = [&] {
    const testing::TScopedEnv config("XDG_CONFIG_HOME", dir.Path());
    return platform::CurrentUserKey(SettingsKeyPath);
  }();
  const auto* file = dynamic_cast<const TSettingsFile*>(key.get());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->FileName(), dir / "tamsket/orvella.conf");
}

}  // namespace
}  // namespace orvella
