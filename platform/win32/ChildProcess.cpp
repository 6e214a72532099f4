#include "platform/ChildProcess.h"

#include <windows.h>

#include <atomic>
#include <thread>

#include "platform/SystemError.h"
#include "platform/win32/WideText.h"

namespace orvella::platform {
namespace {

// One argument as the C runtime of the child splits its command line again;
// a plain word (a host name) stays as it is, so "pathping host" is unchanged.
std::wstring Quoted(const std::wstring& AArg) {
  if (!AArg.empty() && AArg.find_first_of(L" \t\"") == std::wstring::npos)
    return AArg;
  std::wstring result = L"\"";
  size_t slashes = 0;
  for (const wchar_t c : AArg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    result.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    result += c;
  }
  result.append(slashes * 2, L'\\');
  return result + L"\"";
}

}  // namespace

struct TChildProcess::TImpl {
  HANDLE Process = nullptr;
  HANDLE StdOutRead = nullptr;
  std::thread Reader;
  std::atomic<DWORD> ReaderId = 0;
  std::string Output;
  DWORD ReadError = ERROR_BROKEN_PIPE;

  // The pipe is read while the child runs, so a full pipe never blocks it.
  void Drain() {
    ReaderId = GetCurrentThreadId();
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(StdOutRead, buffer, sizeof buffer, &got, nullptr))
      Output.append(buffer, got);
    ReadError = GetLastError();
  }

  void Close() {
    if (Process != nullptr) {
      TerminateProcess(Process, 0);
      WaitForSingleObject(Process, INFINITE);
    }
    if (Reader.joinable()) {
      // Something the child started may still hold the pipe open.
      if (const HANDLE thread = OpenThread(THREAD_TERMINATE, FALSE, ReaderId)) {
        CancelSynchronousIo(thread);
        CloseHandle(thread);
      }
      Reader.join();
    }
    if (Process != nullptr)
      CloseHandle(Process);
    if (StdOutRead != nullptr)
      CloseHandle(StdOutRead);
    Process = StdOutRead = nullptr;
  }
};

TChildProcess::TChildProcess(const std::vector<std::string>& AArgs, TOsHandle AJob)
    : FImpl(std::make_unique<TImpl>()) {
  std::wstring command;
  for (const std::string& arg : AArgs)
    command += (command.empty() ? L"" : L" ") + Quoted(ToWide(arg));

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  HANDLE writeEnd = nullptr;
  const auto fail = [&](const std::string& AWhat) {
    const int code = LastErrorCode();
    if (writeEnd != nullptr)
      CloseHandle(writeEnd);
    FImpl->Close();
    RaiseOSError(code, AWhat);
  };
  if (!CreatePipe(&FImpl->StdOutRead, &writeEnd, nullptr, 0x7FFFFFFF))
    fail("the output pipe");
  if (!SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
    fail("the output pipe");
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;

  PROCESS_INFORMATION info = {};
  const HANDLE job = reinterpret_cast<HANDLE>(AJob);
  BOOL started = FALSE;
  if (job != nullptr)
    started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                             CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startup, &info);
  if (!started)
    started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                             &startup, &info);
  if (!started)
    fail(AArgs.empty() ? std::string() : AArgs[0]);
  FImpl->Process = info.hProcess;
  if (job != nullptr)
    AssignProcessToJobObject(job, info.hProcess);
  CloseHandle(writeEnd);
  writeEnd = nullptr;
  FImpl->Reader = std::thread([impl = FImpl.get()] { impl->Drain(); });
  if (ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
    const int code = LastErrorCode();
    CloseHandle(info.hThread);
    FImpl->Close();
    RaiseOSError(code, AArgs[0]);
  }
  CloseHandle(info.hThread);
}

TChildProcess::~TChildProcess() { FImpl->Close(); }

TOsHandle TChildProcess::Handle() const { return reinterpret_cast<TOsHandle>(FImpl->Process); }

std::string TChildProcess::TakeOutput() {
  if (FImpl->Reader.joinable())
    FImpl->Reader.join();
  if (FImpl->ReadError != ERROR_BROKEN_PIPE)
    RaiseOSError(static_cast<int>(FImpl->ReadError));
  return std::move(FImpl->Output);
}

}  // namespace orvella::platform
