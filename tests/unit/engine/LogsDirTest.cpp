#include "engine/LogsDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

#include "platform/Exceptions.h"
#include "tests/support/ExpectError.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using testing::TTempDir;

struct TFound {
  std::string Path, NamePart;
  TDateTime Date;
  bool Archive;
  bool operator<(const TFound& A) const { return Path < A.Path; }
};

std::vector<TFound> Enumerate(const TLogsDir& ADir) {
  std::vector<TFound> found;
  ADir.EnumFiles([&](const std::string& APath, const std::string& ANamePart, TDateTime ADate, bool AArchive) {
    found.push_back({APath, ANamePart, ADate, AArchive});
  });
  std::sort(found.begin(), found.end());
  return found;
}

void Touch(const std::string& AFileName) { std::ofstream(AFileName) << ""; }

TEST(LogsDir, NamesLogsAndArchivesByDate) {
  const TLogsDir dir("/logs");
  const TDateTime day = EncodeDate(2021, 4, 19);
  EXPECT_EQ(dir.LogFileName(TLogId::ram, day + 0.6), "/logs/2021.04.19_ram.log");
  EXPECT_EQ(dir.FileName("14.03.07", true, day), "/logs/2021.04.19_14.03.07.zip");
}

TEST(LogsDir, PathLiesInTheLocalStateFolder) {
  TTempDir temp;
  const TLogsDir dir = [&] {
    const testing::TScopedEnv state("XDG_STATE_HOME", temp.Path() + "/");
    return TLogsDir::FromLocalAppData();
  }();
  EXPECT_EQ(dir.Path(), temp.Path() + "/Orvella/Logs");
}

TEST(LogsDir, LocalFolderIsCutAtItsFirstNulAndLosesItsTrailingDelimiter) {
  EXPECT_EQ(TLogsDir::FromLocalAppData(std::string("/home/u/.local/state/\0garbage", 29)).Path(),
            "/home/u/.local/state/Orvella/Logs");
}

TEST(LogsDir, MissingLocalFolderStopsTheStart) {
  EXPECT_TRUE(testing::Raises<Exception>([] { TLogsDir::FromLocalAppData(std::nullopt); },
                                         "Unable to locate CSIDL_LOCAL_APPDATA"));
}

TEST(LogsDir, ForceExistsRaisesTheSystemError) {
  TTempDir temp;
  Touch(temp / "blocker");
  const TLogsDir dir(temp / "blocker/Logs");
  EXPECT_TRUE(
      testing::RaisesOSError([&] { dir.ForceExists(); }, ENOTDIR, "System error 20: Not a directory: " + dir.Path()));
}

TEST(LogsDir, EnumFilesOnAMissingFolderReportsNothing) {
  TTempDir temp;
  EXPECT_TRUE(Enumerate(TLogsDir(temp / "missing")).empty());
}

TEST(LogsDir, EnumFilesReportsOnlyCanonicalNames) {
  TTempDir temp;
  for (const char* name :
       {"2021.04.19_GATEWAY.LOG", "2021.04.19_ram.log", "2021.04.20_14.03.07.zip", "2021.04.21_anything.ZIP",
        // passed over:
        "2021.4.19_ram.log", "2021.04.19_ram.txt", "2021.04.19_other.log", "2021.04.31_ram.log", "2021.02.29_cpu.log",
        "2021.04.19_a_b.zip", "x2021.04.19_ram.log", "2021.04.19_ram.log.bak", "2021-04-19_ram.log",
        "99999999999.04.19_ram.log", "_ram.log", "2021.04.19_ram.lo", "2021.04.19_ram.logs"})
    Touch(temp / name);
  ASSERT_TRUE(platform::ForceDirectories(temp / "2021.04.19_disk.log"));  // a folder, not a file

  const std::vector<TFound> found = Enumerate(TLogsDir(temp.Path()));
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].Path, temp / "2021.04.19_GATEWAY.LOG");
  EXPECT_EQ(found[0].NamePart, "GATEWAY");
  EXPECT_EQ(found[0].Date, EncodeDate(2021, 4, 19));
  EXPECT_FALSE(found[0].Archive);
  EXPECT_EQ(found[1].NamePart, "ram");
  EXPECT_EQ(found[2].NamePart, "14.03.07");
  EXPECT_TRUE(found[2].Archive);
  EXPECT_EQ(found[2].Date, EncodeDate(2021, 4, 20));
  EXPECT_EQ(found[3].NamePart, "anything");
  EXPECT_TRUE(found[3].Archive);
}

TEST(LogsDir, CallbackExceptionEndsTheEnumeration) {
  TTempDir temp;
  Touch(temp / "2021.04.19_ram.log");
  Touch(temp / "2021.04.19_cpu.log");
  int calls = 0;
  EXPECT_THROW(TLogsDir(temp.Path()).EnumFiles([&](auto&&...) {
    ++calls;
    throw EAbort();
  }),
               EAbort);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace orvella
