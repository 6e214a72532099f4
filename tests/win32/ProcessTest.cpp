// Events, waits, job objects, child output and console text on Wine's kernel.
#include <windows.h>

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/Exceptions.h"
#include "platform/JobObject.h"
#include "platform/RouteTracer.h"
#include "platform/WaitableEvent.h"
#include "tests/win32/ChildPath.h"

namespace orvella::platform {
namespace {

using testing::ChildProgram;

TEST(WaitTest, TheEarliestSignalledHandleWinsAndEventsStayRaised) {
  TWaitableEvent first, second;
  EXPECT_EQ(WaitForAny({first.Handle(), second.Handle()}, 50), WaitTimedOut);
  second.Set();
  EXPECT_EQ(WaitForAny({first.Handle(), second.Handle()}, 0), 1);
  first.Set();
  EXPECT_EQ(WaitForAny({first.Handle(), second.Handle()}, 0), 0);
  EXPECT_EQ(WaitForAny({first.Handle(), second.Handle()}, 0), 0) << "manual reset: still raised";
  first.Reset();
  second.Reset();
  EXPECT_EQ(WaitForAny({first.Handle(), second.Handle()}, 0), WaitTimedOut);
}

TEST(WaitTest, AProcessHandleIsSignalledWhenTheChildEnds) {
  TWaitableEvent event;
  TChildProcess child({ChildProgram(), "write", "10"}, 0);
  EXPECT_EQ(WaitForAny({event.Handle(), child.Handle()}, 20000), 1);
  EXPECT_EQ(child.TakeOutput(), "xxxxxxxxxx");
}

TEST(WaitTest, AnEventSetByAnotherThreadEndsTheWait) {
  TWaitableEvent event;
  TChildProcess child({ChildProgram(), "sleep"}, 0);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    event.Set();
  });
  EXPECT_EQ(WaitForAny({event.Handle(), child.Handle()}, 20000), 0);
  setter.join();
}

TEST(ChildProcessTest, OutputLargerThanAPipeIsCapturedWhole) {
  constexpr long Size = 1 << 20;
  TChildProcess child({ChildProgram(), "write", std::to_string(Size)}, 0);
  ASSERT_EQ(WaitForAny({child.Handle()}, 60000), 0) << "the child blocked on a full pipe";
  const std::string output = child.TakeOutput();
  EXPECT_EQ(output.size(), static_cast<size_t>(Size));
  EXPECT_EQ(output.find_first_not_of('x'), std::string::npos);
}

TEST(ChildProcessTest, AMissingProgramRaisesAndLeavesNothing) {
  EXPECT_THROW(TChildProcess({"orvella-no-such-program.exe"}, 0), EOSError);
}

TEST(JobObjectTest, TheChildJoinsTheJobGiven) {
  TJobObject job;
  ASSERT_NE(job.Handle(), 0u) << "no job object";
  TChildProcess child({ChildProgram(), "sleep"}, job.Handle());
  BOOL inJob = FALSE;
  ASSERT_TRUE(
      IsProcessInJob(reinterpret_cast<HANDLE>(child.Handle()), reinterpret_cast<HANDLE>(job.Handle()), &inJob));
  EXPECT_TRUE(inJob);
}

TEST(JobObjectTest, AChildOnlyTheJobHoldsEndsWithTheJob) {
  auto job = std::make_unique<TJobObject>();
  ASSERT_NE(job->Handle(), 0u);
  const std::string program = ChildProgram();
  std::wstring command(program.begin(), program.end());
  command = L"\"" + command + L"\" sleep";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                             &startup, &info));
  ASSERT_TRUE(AssignProcessToJobObject(reinterpret_cast<HANDLE>(job->Handle()), info.hProcess));
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 200), static_cast<DWORD>(WAIT_TIMEOUT)) << "the child ended early";
  job.reset();
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0) << "closing the job left the child running";
  CloseHandle(info.hProcess);
}

TEST(ConsoleTextTest, TheOemCodePageIsConvertedToUtf8) {
  const std::string charset = ConsoleCharset();
  EXPECT_EQ(charset, std::to_string(GetOEMCP()));
  // "Трассировка" in code page 866, as a Russian pathping writes it.
  const std::string cp866 = "\x92\xE0\xA0\xE1\xE1\xA8\xE0\xAE\xA2\xAA\xA0";
  EXPECT_EQ(ConsoleTextToUtf8(cp866, "866"), "Трассировка");
  EXPECT_EQ(ConsoleTextToUtf8("route 1\r\n", charset), "route 1\r\n");
  EXPECT_THROW(ConsoleTextToUtf8("x", "65999"), EOSError);
}

}  // namespace
}  // namespace orvella::platform
