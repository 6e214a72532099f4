// The command process against real children of the kernel.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "engine/CommandProcess.h"
#include "engine/Signals.h"
#include "platform/Exceptions.h"
#include "platform/JobObject.h"
#include "platform/PerfServices.h"
#include "platform/WaitableEvent.h"
#include "tests/support/ChildRun.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

std::string RunCommand(const std::vector<std::string>& ACommand, platform::TOsHandle AJob = 0) {
  TCommandProcess process(ACommand, AJob);
  return process.GetOutput();
}

std::string Shell(const std::string& AScript) { return RunCommand({"/bin/sh", "-c", AScript}); }

// A process that is gone or only a zombie waiting for its new parent.
bool Ended(pid_t APid) {
  std::ifstream stat("/proc/" + std::to_string(APid) + "/stat");
  std::string pid, name, state;
  if (!(stat >> pid >> name >> state))
    return true;
  return state == "Z" || state == "X";
}

bool EndsWithin(pid_t APid, std::chrono::milliseconds ALimit) {
  const auto deadline = std::chrono::steady_clock::now() + ALimit;
  while (!Ended(APid)) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

pid_t WaitForPidFile(const std::string& AFile) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(AFile);
    pid_t pid = 0;
    if (in >> pid && pid > 0)
      return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

TEST(CommandProcessOutput, IsCapturedWholeAndInOrder) {
  EXPECT_EQ(Shell("true"), "");
  // The buffer grows past a full 8192 bytes before the last read; the result
  // is cut back to what was written.
  EXPECT_EQ(Shell("head -c 8192 /dev/zero"), std::string(8192, '\0'));
  EXPECT_EQ(Shell("echo out1; echo err1 >&2; echo out2; echo err2 >&2"), "out1\nerr1\nout2\nerr2\n");
}

TEST(CommandProcessOutput, MegabytesNeitherBlockNorLoseAByte) {
  // Far more than a pipe holds, written before anyone asks for the output.
  TCommandProcess process({"/bin/sh", "-c", "yes 0123456789abcdef | head -c 6000000"}, 0);
  TSignals signals(1);
  ASSERT_EQ(signals.Wait({1}, 20000, TCommandProcess::GetHandle(&process)), 1) << "the child blocked";
  const std::string output = process.GetOutput();
  ASSERT_EQ(output.size(), 6000000u);
  std::string expected;
  while (expected.size() < output.size())
    expected += "0123456789abcdef\n";
  expected.resize(output.size());
  EXPECT_TRUE(output == expected);
}

TEST(CommandProcessStart, PassesEachArgumentAsItIsWithoutAShell) {
  const std::string host = "host name; $(touch /tmp/x) `id` | & > *";
  EXPECT_EQ(RunCommand({"/bin/echo", host}), host + "\n");
  EXPECT_EQ(Shell("if [ -e /proc/self/fd/0 ]; then echo open; else echo closed; fi"), "closed\n");
}

TEST(CommandProcessStart, UnknownProgramRaisesTheSystemError) {
  EXPECT_TRUE(testing::RaisesOSError([] { TCommandProcess process({"orvella-no-such-program"}, 0); }, ENOENT,
                                     "System error 2: No such file or directory: orvella-no-such-program"));
}

TEST(CommandProcessHandle, IsZeroWithoutProcessAndSignalledAtTheEnd) {
  EXPECT_EQ(TCommandProcess::GetHandle(nullptr), 0u);
  TSignals signals(1);
  TCommandProcess running({"sleep", "5"}, 0);
  EXPECT_EQ(signals.Wait({1}, 100, TCommandProcess::GetHandle(&running)), sigNone);
  TCommandProcess quick({"sleep", "0.05"}, 0);
  EXPECT_EQ(signals.Wait({1}, 5000, TCommandProcess::GetHandle(&quick)), 1);
}

TEST(CommandProcessHandle, IsAboveTheStandardStreamsWhenTheProgramHasNone) {
  // A program started with its standard streams closed gets descriptors 0
  // to 2 for its first files, and handle 0 means none to the wait.
  int saved[3];
  for (int fd = 0; fd < 3; ++fd) {
    saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
  }
  platform::TOsHandle process = 0;
  platform::TOsHandle event = 0;
  platform::TOsHandle services = 0;
  uint8_t ended = sigNone;
  {
    const platform::TServicesKey key = platform::OpenServicesKey();
    services = key.Handle();
    TCommandProcess quick({"true"}, 0);
    const platform::TWaitableEvent signal;
    process = TCommandProcess::GetHandle(&quick);
    event = signal.Handle();
    TSignals signals(1);
    ended = signals.Wait({1}, 10000, process);
  }
  for (int fd = 0; fd < 3; ++fd) {
    if (saved[fd] >= 0) {
      dup2(saved[fd], fd);
      close(saved[fd]);
    }
  }
  EXPECT_GT(process, 2u);
  EXPECT_GT(event, 2u);
  EXPECT_GT(services, 2u);
  EXPECT_EQ(ended, 1);
}

TEST(CommandProcessEnd, DestroyEndsTheWholeGroup) {
  testing::TTempDir dir;
  const std::string pidFile = dir / "grandchild";
  pid_t grandchild = 0;
  {
    TCommandProcess process({"/bin/sh", "-c", "sleep 30 & echo $! > " + pidFile + "; wait"}, 0);
    grandchild = WaitForPidFile(pidFile);
    ASSERT_GT(grandchild, 0);
    EXPECT_FALSE(Ended(grandchild));
  }
  EXPECT_TRUE(EndsWithin(grandchild, std::chrono::seconds(5)));
}

TEST(CommandProcessEnd, WhatTheProcessLeftRunningNeitherHoldsItsOutputNorOutlivesIt) {
  testing::TTempDir dir;
  const std::string inGroup = dir / "in-group";
  const std::string escaped = dir / "escaped";
  // Both grandchildren keep the output pipe open; one has left the group.
  TCommandProcess process(
      {"/bin/sh", "-c",
       "echo before; sleep 30 & echo $! > " + inGroup + "; setsid sleep 30 & echo $! > " + escaped + "; echo after"},
      0);
  TSignals signals(1);
  ASSERT_EQ(signals.Wait({1}, 10000, TCommandProcess::GetHandle(&process)), 1);
  const pid_t grandchild = WaitForPidFile(inGroup);
  const pid_t outside = WaitForPidFile(escaped);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(process.GetOutput(), "before\nafter\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(EndsWithin(grandchild, std::chrono::seconds(5)));
  if (outside > 0)
    kill(outside, SIGKILL);
}

TEST(CommandProcessEnd, ClosingTheJobEndsItsChildren) {
  testing::TTempDir dir;
  const std::string pidFile = dir / "child";
  auto job = std::make_unique<platform::TJobObject>();
  ASSERT_NE(job->Handle(), 0u);
  TCommandProcess process({"/bin/sh", "-c", "echo $$ > " + pidFile + "; exec sleep 30"}, job->Handle());
  const pid_t child = WaitForPidFile(pidFile);
  ASSERT_GT(child, 0);
  job.reset();
  TSignals signals(1);
  EXPECT_EQ(signals.Wait({1}, 5000, TCommandProcess::GetHandle(&process)), 1);
}

TEST(CommandProcessEnd, AKilledApplicationLeavesNoChild) {
  testing::TTempDir dir;
  const std::string pidFile = dir / "child";
  // The stand-in application: starts a child in its job and waits to be killed.
  testing::TChildRun application([&] {
    platform::TJobObject job;
    TCommandProcess process({"/bin/sh", "-c", "echo $$ > " + pidFile + "; exec sleep 30"}, job.Handle());
    pause();
    return 0;
  });
  const pid_t child = WaitForPidFile(pidFile);
  EXPECT_EQ(application.Stop(SIGKILL), 128 + SIGKILL);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(EndsWithin(child, std::chrono::seconds(5)));
}

}  // namespace
}  // namespace orvella
