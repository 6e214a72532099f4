#include "base/RunProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/NowUTC.h"
#include "platform/Exceptions.h"
#include "tests/support/ChildRun.h"
#include "tests/support/ExpectError.h"
#include "tests/support/FileText.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

// A script that records its working directory and its arguments, one a line.
std::string WriteRecorder(const testing::TTempDir& ADir, int AExitCode) {
  const std::string script = ADir / "recorder.sh";
  std::ofstream(script) << "#!/bin/sh\npwd -P > cwd.txt\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > args.txt\n"
                        << "exit " << AExitCode << "\n";
  chmod(script.c_str(), 0755);
  return script;
}

class RunProcessTest : public ::testing::Test {
protected:
  testing::TTempDir FDir;
};

TEST_F(RunProcessTest, WaitsForTheExitCodeInTheFolderOfTheProgram) {
  const std::string script = WriteRecorder(FDir, 7);
  EXPECT_EQ(RunProcess(script, "one \"two words\" th\\\"ree", true, false, true), 7u);
  EXPECT_EQ(testing::ReadFileText(FDir / "cwd.txt"), std::filesystem::canonical(FDir.Path()).string() + "\n");
  EXPECT_EQ(testing::ReadFileText(FDir / "args.txt"), "one\ntwo words\nth\"ree\n");
}

TEST_F(RunProcessTest, ARelativeNameIsFoundFromTheCallersFolder) {
  std::filesystem::create_directory(FDir / "sub");
  const std::string script = FDir / "sub/recorder.sh";
  std::ofstream(script) << "#!/bin/sh\npwd -P > cwd.txt\nexit 5\n";
  chmod(script.c_str(), 0755);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(FDir.Path());
  uint32_t code = 0;
  EXPECT_NO_THROW(code = RunProcess("sub/recorder.sh", "", false, false, true));
  std::filesystem::current_path(before);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(testing::ReadFileText(FDir / "sub/cwd.txt"), std::filesystem::canonical(FDir / "sub").string() + "\n");
}

TEST_F(RunProcessTest, TheChildInheritsNoHandles) {
  const std::string script = FDir / "fds.sh";
  std::ofstream(script) << "#!/bin/sh\nif [ -e /proc/self/fd/200 ]; then exit 1; fi\nexit 0\n";
  chmod(script.c_str(), 0755);
  const int file = open(script.c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  // Inheritable, as every handle opened without O_CLOEXEC is.
  const int inheritable = fcntl(file, F_DUPFD, 200);
  close(file);
  ASSERT_EQ(inheritable, 200);
  const uint32_t code = RunProcess(script, "", false, false, true);
  close(inheritable);
  EXPECT_EQ(code, 0u);
}

TEST_F(RunProcessTest, WithoutWaitAnswersStillActiveAtOnce) {
  const std::string script = FDir / "slow.sh";
  std::ofstream(script) << "#!/bin/sh\nsleep 3\ntouch done.txt\n";
  chmod(script.c_str(), 0755);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProcess(script, "", false, false, false), StillActive);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(std::filesystem::exists(FDir / "done.txt"));
}

TEST_F(RunProcessTest, ElevatedFromRootStartsTheChildDirectly) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root: a process that is not elevated would go through the consent prompt";
  const std::string script = WriteRecorder(FDir, 3);
  EXPECT_EQ(RunProcess(script, "FixCounters", false, true, true), 3u);
  EXPECT_EQ(testing::ReadFileText(FDir / "args.txt"), "FixCounters\n");
}

TEST_F(RunProcessTest, ElevationGoesThroughTheConsentPromptInTheProgramsFolder) {
  // A user who is not root, with a stand-in for pkexec that records how it was
  // called and answers as the prompt did.
  const std::string bin = FDir / "bin";
  std::filesystem::create_directory(bin);
  chmod(FDir.Path().c_str(), 0755);
  chmod(bin.c_str(), 0777);
  std::ofstream(bin + "/pkexec") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > " << bin << "/args.txt\npwd -P > " << bin
                                 << "/cwd.txt\nexit $(cat " << bin << "/answer)\n";
  chmod((bin + "/pkexec").c_str(), 0755);
  const std::string program = FDir / "prog";
  const auto asUser = [&](const std::string& AAnswer) {
    std::ofstream(bin + "/answer") << AAnswer << "\n";
    testing::TChildRun user(
        [&] {
          setenv("PATH", (bin + ":" + getenv("PATH")).c_str(), 1);
          try {
            return RunProcess(program, "FixCounters \"a b\"", false, true, true) == 0 ? 0 : 4;
          } catch (const EOSError&) {
            return 5;
          }
        },
        {.AsNobody = true});
    return user.Wait();
  };
  ASSERT_EQ(asUser("0"), 0);
  // pkexec runs its program in root's home unless it is told to keep the folder.
  EXPECT_EQ(testing::ReadFileText(bin + "/args.txt"), "--keep-cwd\n" + program + "\nFixCounters\na b\n");
  EXPECT_EQ(testing::ReadFileText(bin + "/cwd.txt"), std::filesystem::canonical(FDir.Path()).string() + "\n");
  // Dismissed, or not authorised.
  EXPECT_EQ(asUser("126"), 5);
  EXPECT_EQ(asUser("127"), 5);
}

TEST_F(RunProcessTest, FailuresRaiseTheSystemError) {
  EXPECT_TRUE(testing::RaisesOSError([this] { RunProcess(FDir / "missing", "", false, false, true); }, ENOENT,
                                     "System error 2: No such file or directory: " + FDir / "missing"));
  const std::string script = FDir / "killed.sh";
  std::ofstream(script) << "#!/bin/sh\nkill -KILL $$\n";
  chmod(script.c_str(), 0755);
  EXPECT_EQ(RunProcess(script, "", false, false, true), 128u + SIGKILL);
}

TEST(NowUTC, FollowsTheSystemClock) {
  const double unixDays = static_cast<double>(time(nullptr)) / 86400.0;
  // 25569 days lie between 30 December 1899 and 1 January 1970.
  EXPECT_NEAR(NowUTC(), 25569.0 + unixDays, 5.0 / 86400.0);
}

}  // namespace
}  // namespace orvella
