#include "base/RunProcess.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "platform/SystemError.h"
#include "base/CommandLineArgs.h"

extern char** environ;

namespace orvella {
namespace {

// pkexec's answers when no authorisation was given: the prompt was dismissed
// (126) or the user could not or would not authenticate (127).
constexpr int PkexecDismissed = 126;
constexpr int PkexecNotAuthorized = 127;

class TSpawnActions {
public:
  TSpawnActions() {
    if (const int error = posix_spawn_file_actions_init(&FActions))
      platform::RaiseOSError(error);
  }
  ~TSpawnActions() { posix_spawn_file_actions_destroy(&FActions); }
  TSpawnActions(const TSpawnActions&) = delete;
  TSpawnActions& operator=(const TSpawnActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &FActions; }

private:
  posix_spawn_file_actions_t FActions;
};

uint32_t WaitForExitCode(pid_t AChild, const std::string& AFileName) {
  int status = 0;
  while (waitpid(AChild, &status, 0) < 0) {
    if (errno != EINTR)
      platform::RaiseLastOSError(AFileName);
  }
  if (WIFEXITED(status))
    return static_cast<uint32_t>(WEXITSTATUS(status));
  // Killed by a signal: the shell's convention.
  return static_cast<uint32_t>(128 + WTERMSIG(status));
}

}  // namespace

// AVisible has no counterpart here: a program opens its own windows or none.
uint32_t RunProcess(const std::string& AFileName, const std::string& AParameters, bool /*AVisible*/, bool AElevated,
                    bool AWait) {
  // A process that already runs as root needs no prompt.
  if (AElevated && geteuid() == 0)
    AElevated = false;

  // The child changes to the program's folder before it starts the program,
  // so a relative name is made absolute while it still means what the caller meant.
  const size_t slash = AFileName.find_last_of('/');
  std::string fileName = AFileName;
  if (slash != std::string::npos && AFileName.front() != '/') {
    std::error_code error;
    fileName = std::filesystem::absolute(AFileName, error).string();
    if (error)
      platform::RaiseOSError(error.value(), AFileName);
  }

  std::vector<std::string> args;
  if (AElevated) {
    args.emplace_back("pkexec");
    // Otherwise pkexec starts the program in root's home folder.
    args.emplace_back("--keep-cwd");
  }
  args.push_back(fileName);
  for (std::string& arg : SplitCommandLineArgs(AParameters))
    args.push_back(std::move(arg));
  std::vector<char*> argv;
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  TSpawnActions actions;
  // The child inherits no handle but the standard three.
  if (const int error = posix_spawn_file_actions_addclosefrom_np(actions.Get(), STDERR_FILENO + 1))
    platform::RaiseOSError(error);
  if (slash != std::string::npos) {
    const std::string folder = fileName.substr(0, fileName.find_last_of('/') + 1);
    if (const int error = posix_spawn_file_actions_addchdir_np(actions.Get(), folder.c_str()))
      platform::RaiseOSError(error, folder);
  }

  pid_t child = 0;
  // Without a slash the name is looked up on the search path, as the Windows
  // command line does with its first word.
  if (const int error = posix_spawnp(&child, argv[0], actions.Get(), nullptr, argv.data(), environ))
    platform::RaiseOSError(error, argv[0]);

  if (!AWait) {
    // Someone has to collect the child's exit status, or it stays a zombie.
    std::thread([child] {
      int status = 0;
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return StillActive;
  }

  const uint32_t code = WaitForExitCode(child, fileName);
  if (AElevated && (code == PkexecDismissed || code == PkexecNotAuthorized))
    platform::RaiseOSError(EACCES, fileName);
  return code;
}

}  // namespace orvella
