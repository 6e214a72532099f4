#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/SystemError.h"
#include "platform/WaitableEvent.h"
#include "platform/linux/AboveStandardStreams.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/JobRegistry.h"
#include "platform/linux/PollDeadline.h"

namespace orvella::platform {
namespace {

// The pipe's ends are kept above the standard streams as well as the pidfd:
// between fork and exec the child moves its output onto 1 and 2, which must
// not be where its error pipe is.
void MakePipe(TFd& ARead, TFd& AWrite) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    RaiseLastOSError();
  TFd readEnd(fds[0]);
  TFd writeEnd(fds[1]);
  ARead = KeptAboveStandardStreams(readEnd.Release());
  AWrite = KeptAboveStandardStreams(writeEnd.Release());
}

// Makes AFd the descriptor ATarget of the child, inheritable across exec.
// Only async-signal-safe calls: this runs between fork and exec.
bool MoveTo(int AFd, int ATarget) {
  if (AFd == ATarget)
    return fcntl(AFd, F_SETFD, 0) == 0;
  return dup2(AFd, ATarget) == ATarget;
}

[[noreturn]] void ChildFail(int AErrorPipe) {
  const int code = errno;
  [[maybe_unused]] const ssize_t ignored = write(AErrorPipe, &code, sizeof code);
  _exit(127);
}

// The child's side of the start, up to exec.
[[noreturn]] void RunChild(char* const* AArgv, int AOutput, int AErrorPipe, bool ATied, pid_t AParent) {
  setpgid(0, 0);
  if (ATied) {
    // The kernel kills the child when the application's thread that started
    // it dies, however the application ends; if it died before this line the
    // parent is already someone else.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != AParent)
      ChildFail(AErrorPipe);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig)
    sigaction(sig, &standard, nullptr);

  if (!MoveTo(AOutput, STDOUT_FILENO) || !MoveTo(AOutput, STDERR_FILENO))
    ChildFail(AErrorPipe);
  close(STDIN_FILENO);
  // Nothing of the application but the output pipe reaches the program.
  syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
  execvp(AArgv[0], AArgv);
  ChildFail(AErrorPipe);
}

}  // namespace

struct TChildProcess::TImpl {
  pid_t Pid = -1;
  TOsHandle Job = 0;
  TFd PidFd;
  TFd OutputRead;
  TWaitableEvent StopReader;
  std::thread Reader;
  std::string Output;
  int ReadError = 0;

  // Drains the pipe until every writer has closed it, or until told to stop;
  // then takes what the pipe still holds without waiting for more.
  void Drain() {
    pollfd fds[2] = {{OutputRead.Get(), POLLIN, 0}, {static_cast<int>(StopReader.Handle()), POLLIN, 0}};
    for (;;) {
      if (PollUntil(fds, TPollDeadline(Infinite)) < 0) {
        ReadError = errno;
        return;
      }
      if (fds[1].revents != 0) {
        while (AppendSome() > 0) {
        }
        return;
      }
      if (AppendSome() == 0)
        return;
    }
  }

  // Appends what one read gives: 1 when it gave bytes, 0 at the end of the
  // pipe or on an error, -1 when nothing is there now.
  int AppendSome() {
    char buffer[65536];
    const ssize_t got = platform::ReadSome(OutputRead.Get(), buffer, sizeof buffer);
    if (got > 0) {
      Output.append(buffer, static_cast<size_t>(got));
      return 1;
    }
    if (got < 0 && errno == EAGAIN)
      return -1;
    if (got < 0)
      ReadError = errno;
    return 0;
  }

  void WaitForExit() const {
    pollfd exited = {PidFd.Get(), POLLIN, 0};
    PollUntil({&exited, 1}, TPollDeadline(Infinite));
  }

  void StopAndReap() {
    if (Pid > 0) {
      jobs::KillAndLeave(Job, Pid);
      while (waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
      }
      Pid = -1;
    }
    if (Reader.joinable()) {
      StopReader.Set();
      Reader.join();
    }
  }
};

TChildProcess::TChildProcess(const std::vector<std::string>& AArgs, TOsHandle AJob)
    : FImpl(std::make_unique<TImpl>()) {
  if (AArgs.empty())
    RaiseOSError(EINVAL);
  std::vector<std::string> args = AArgs;
  std::vector<char*> argv;
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  TFd outputWrite;
  TFd errorRead;
  TFd errorWrite;
  MakePipe(FImpl->OutputRead, outputWrite);
  // Only the application's end: the child writes as to any pipe.
  if (fcntl(FImpl->OutputRead.Get(), F_SETFL, O_NONBLOCK) != 0)
    RaiseLastOSError();
  MakePipe(errorRead, errorWrite);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0)
    RaiseLastOSError();
  if (pid == 0)
    RunChild(argv.data(), outputWrite.Get(), errorWrite.Get(), AJob != 0, parent);

  FImpl->Pid = pid;
  FImpl->Job = AJob;
  outputWrite.Reset();
  errorWrite.Reset();
  // From here on a failure ends the child before it is raised.
  try {
    // Both sides set the group, so that killing it never races the child.
    setpgid(pid, pid);
    if (AJob != 0)
      jobs::JoinJob(AJob, pid);
    FImpl->Reader = std::thread([impl = FImpl.get()] { impl->Drain(); });

    int childError = 0;
    if (ReadSome(errorRead.Get(), &childError, sizeof childError) > 0)
      RaiseOSError(childError, AArgs[0]);
    FImpl->PidFd = KeptAboveStandardStreams(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  } catch (...) {
    FImpl->StopAndReap();
    throw;
  }
}

TChildProcess::~TChildProcess() { FImpl->StopAndReap(); }

TOsHandle TChildProcess::Handle() const { return static_cast<TOsHandle>(FImpl->PidFd.Get()); }

std::string TChildProcess::TakeOutput() {
  // Whatever the child left running (a helper of the tracer, say) may hold
  // the pipe open for as long as it likes: once the child itself has ended,
  // its group ends too, and the output is what the pipe holds by then.
  FImpl->WaitForExit();
  FImpl->StopAndReap();
  if (FImpl->ReadError != 0)
    RaiseOSError(FImpl->ReadError);
  return std::move(FImpl->Output);
}

}  // namespace orvella::platform
