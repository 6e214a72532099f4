#include "platform/FileSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

#include "platform/AppendFile.h"
#include "platform/Exceptions.h"
#include "tests/support/ChildRun.h"
#include "tests/support/ExpectError.h"
#include "tests/support/FileText.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace orvella::platform {
namespace {

using testing::ReadFileText;
using testing::TChildRun;
using testing::TTempDir;

TEST(FileSystem, ForceDirectoriesCreatesEveryMissingLevelButNoneBelowAFile) {
  TTempDir temp;
  const std::string deep = temp / "a/b/c";
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));  // existing: still fine
  std::ofstream(temp / "file") << "x";
  EXPECT_FALSE(ForceDirectories(temp / "file/sub"));
  EXPECT_EQ(errno, ENOTDIR);
}

TEST(FileSystem, ListFilesMatchesTheWildcardAndSkipsFolders) {
  TTempDir temp;
  for (const char* name : {"2021.04.19_ram.log", "x_y.zip", "noscore.log", "a_b.toolong", ".hidden_x.log"})
    std::ofstream(temp / name) << "";
  ForceDirectories(temp / "dir_x.log");
  std::vector<std::string> names = ListFiles(temp.Path(), "*_*.???");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"2021.04.19_ram.log", "x_y.zip"}));
  EXPECT_TRUE(ListFiles(temp / "missing", "*").empty());
}

TEST(FileSystem, SameTextIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(SameText("2021.04.19_GATEWAY.LOG", "2021.04.19_gateway.log"));
  EXPECT_FALSE(SameText("gateway", "gateways"));
  EXPECT_FALSE(SameText("a", "b"));
}

TEST(FileSystem, LocalAppDataFollowsXdgStateHome) {
  TTempDir temp;
  const std::optional<std::string> folder = [&] {
    const testing::TScopedEnv state("XDG_STATE_HOME", temp / "state");
    return LocalAppDataFolder();
  }();
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, temp / "state");
  EXPECT_TRUE(DirectoryExists(*folder));
}

TEST(AppendFile, KeepsContentAndAppendsWholeLines) {
  TTempDir temp;
  const std::string name = temp / "day.log";
  std::ofstream(name, std::ios::binary) << "earlier\r\n";
  {
    TAppendFile file(name);
    file.Write("one\r\n");
    // Another reader sees the line at once: there is no buffer above the file.
    EXPECT_EQ(ReadFileText(name), "earlier\r\none\r\n");
    file.Write("two\r\n");
    file.Flush();
  }
  EXPECT_EQ(ReadFileText(name), "earlier\r\none\r\ntwo\r\n");
}

TEST(AppendFile, AFullDiskWritesALineWholeOrNotAtAll) {
  TTempDir temp;
  const std::string name = temp / "day.log";
  const std::string line = "19.04.2021 14:03:07 - 12.5\r\n";
  // A file size limit in a child stands in for the disk: 100 bytes hold three
  // lines and the first 16 bytes of the fourth.
  TChildRun child([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      TAppendFile file(name);
      for (int i = 0; i < 10; ++i)
        file.Write(line);
    } catch (const EOSError& e) {
      return e.ErrorCode() == EFBIG ? 0 : 1;
    }
    return 2;
  });
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(ReadFileText(name), line + line + line);
}

TEST(AppendFile, OpeningDropsAPartialLastLine) {
  TTempDir temp;
  const std::string name = temp / "day.log";
  std::ofstream(name, std::ios::binary) << "earlier\r\n" << std::string(5000, 'x') << "\r\nhalf a li";
  TAppendFile(name).Write("next\r\n");
  EXPECT_EQ(ReadFileText(name), "earlier\r\n" + std::string(5000, 'x') + "\r\nnext\r\n");

  std::ofstream(name, std::ios::binary) << std::string(9000, 'y');
  TAppendFile(name).Write("first\r\n");
  EXPECT_EQ(ReadFileText(name), "first\r\n");
}

TEST(AppendFile, ReportsTheSystemErrorWhenItCannotOpen) {
  TTempDir temp;
  EXPECT_TRUE(testing::RaisesOSError([&] { TAppendFile file(temp / "missing/day.log"); }, ENOENT,
                                     "System error 2: No such file or directory: " + temp / "missing/day.log"));
}

TEST(AppendFile, SurvivesItsFileBeingDeleted) {
  TTempDir temp;
  const std::string name = temp / "day.log";
  TAppendFile file(name);
  file.Write("one\r\n");
  ASSERT_TRUE(RemoveFile(name));
  EXPECT_NO_THROW(file.Write("two\r\n"));
  EXPECT_FALSE(RemoveFile(name));
}

}  // namespace
}  // namespace orvella::platform
