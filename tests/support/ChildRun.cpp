#include "tests/support/ChildRun.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace orvella::testing {

constexpr uid_t Nobody = 65534;

TChildRun::TChildRun(const std::vector<std::string>& AArgs, const TChildSetup& ASetup) {
  // Everything the child needs is made before the fork.
  std::vector<char*> argv;
  for (const std::string& arg : AArgs)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  Fork(ASetup, [&] {
    execvp(argv[0], argv.data());
    _exit(127);
  });
}

TChildRun::TChildRun(const std::function<int()>& AWork, const TChildSetup& ASetup) {
  Fork(ASetup, [&] {
    int code = 125;
    try {
      code = AWork();
    } catch (...) {
    }
    _exit(code);
  });
}

void TChildRun::Fork(const TChildSetup& ASetup, const std::function<void()>& AInChild) {
  using TOutput = TChildSetup::TOutput;
  int pipeFds[2] = {-1, -1};
  if (ASetup.Output == TOutput::Capture && pipe2(pipeFds, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  const int target = ASetup.Output == TOutput::File
                         ? open(ASetup.OutputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                     : ASetup.Output == TOutput::Quiet ? open("/dev/null", O_WRONLY | O_CLOEXEC)
                                                       : pipeFds[1];
  const int ns = ASetup.Namespace.empty() ? -1 : open(ASetup.Namespace.c_str(), O_RDONLY | O_CLOEXEC);
  FPid = fork();
  if (FPid == 0) {
    if (ASetup.DeathSignal != 0)
      prctl(PR_SET_PDEATHSIG, ASetup.DeathSignal);
    if (!ASetup.Namespace.empty() && (ns < 0 || setns(ns, CLONE_NEWNET) != 0))
      _exit(126);
    if (!ASetup.Folder.empty() && chdir(ASetup.Folder.c_str()) != 0)
      _exit(126);
    if (ASetup.Output != TOutput::Inherit && (target < 0 || dup2(target, STDOUT_FILENO) < 0))
      _exit(126);
    if (ASetup.Output == TOutput::Quiet) {
      dup2(target, STDERR_FILENO);
      const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
      dup2(null, STDIN_FILENO);
    }
    if (ASetup.AsNobody && geteuid() == 0 && (setgid(Nobody) != 0 || setuid(Nobody) != 0))
      _exit(126);
    if (ASetup.KeepFd >= 0)
      fcntl(ASetup.KeepFd, F_SETFD, 0);
    AInChild();
  }
  if (ns >= 0)
    close(ns);
  if (target >= 0)
    close(target);
  FOutputFd = pipeFds[0];
  if (FPid < 0) {
    if (FOutputFd >= 0)
      close(FOutputFd);
    throw std::runtime_error("fork failed");
  }
}

TChildRun::~TChildRun() {
  if (FPid > 0) {
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
  }
  if (FOutputFd >= 0)
    close(FOutputFd);
}

void TChildRun::ReadOutput(std::chrono::milliseconds AWait) {
  if (FOutputFd < 0) {
    std::this_thread::sleep_for(AWait);
    return;
  }
  pollfd ready{FOutputFd, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(AWait.count())) <= 0)
    return;
  char buffer[4096];
  const ssize_t n = read(FOutputFd, buffer, sizeof buffer);
  if (n > 0) {
    FOutput.append(buffer, static_cast<size_t>(n));
  } else {
    close(FOutputFd);
    FOutputFd = -1;
  }
}

int TChildRun::Wait(std::chrono::milliseconds ALimit) {
  if (FPid <= 0)
    throw std::logic_error("no child to wait for");
  const auto deadline = Clock::now() + ALimit;
  int status = 0;
  pid_t ended = 0;
  while ((ended = wait4(FPid, &status, WNOHANG, &FUsage)) == 0 && Clock::now() < deadline)
    ReadOutput(std::chrono::milliseconds(5));
  if (ended == 0) {
    kill(FPid, SIGKILL);
    wait4(FPid, nullptr, 0, &FUsage);
  }
  FPid = 0;
  // What the child wrote is in the pipe now; a process it left behind may
  // hold the pipe open, so no waiting for its end.
  for (std::string::size_type before = std::string::npos; FOutputFd >= 0 && before != FOutput.size();) {
    before = FOutput.size();
    ReadOutput(std::chrono::milliseconds(0));
  }
  if (ended <= 0)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int TChildRun::Stop(int ASignal, std::chrono::milliseconds ALimit) {
  Signal(ASignal);
  return Wait(ALimit);
}

void TChildRun::Signal(int ASignal) const {
  if (FPid > 0)
    kill(FPid, ASignal);
}

std::string CommandOutput(const std::vector<std::string>& AArgs, int* AExitCode) {
  TChildRun child(AArgs);
  const int code = child.Wait();
  if (AExitCode)
    *AExitCode = code;
  return child.Output();
}

bool CommandSucceeds(const std::vector<std::string>& AArgs) {
  return TChildRun(AArgs, {.Output = TChildSetup::TOutput::Quiet}).Wait() == 0;
}

bool OnPath(const std::string& AProgram) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && access((folder + "/" + AProgram).c_str(), X_OK) == 0)
      return true;
  }
  return false;
}

}  // namespace orvella::testing
