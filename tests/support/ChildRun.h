#pragma once
// A child process of a test or a benchmark: a program, or a piece of the test
// run in a fork. Its standard output is captured, sent to a file or to
// /dev/null, or shared with ours; waiting is bounded, and a child that hangs
// or is still running when the object goes is killed.
#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace orvella::testing {

struct TChildSetup {
  enum class TOutput {
    Capture,  // standard output read by Wait, into Output()
    Inherit,  // ours
    File,     // into OutputFile
    Quiet,    // standard output and error to /dev/null
  };
  TOutput Output = TOutput::Capture;
  std::string OutputFile{};
  // A network namespace (/run/netns/NAME) the child enters first.
  std::string Namespace{};
  // The child's working folder.
  std::string Folder{};
  // A descriptor of ours left open in the child (a close-on-exec pipe's end).
  int KeepFd = -1;
  // Sent to the child when the parent ends, however it ends.
  int DeathSignal = 0;
  // Run by root, the child becomes the user and group nobody first: root may
  // read and write anything, so a check of permissions needs another user.
  bool AsNobody = false;
};

class TChildRun {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds Patience = std::chrono::seconds(60);

  // Starts AArgs[0] from the PATH. Failing to set the child up ends it with
  // 126, failing to start the program with 127.
  explicit TChildRun(const std::vector<std::string>& AArgs, const TChildSetup& ASetup = {});
  // Runs AWork in a fork; its result is the exit code, an exception ends it with 125.
  explicit TChildRun(const std::function<int()>& AWork, const TChildSetup& ASetup = {});
  ~TChildRun();
  TChildRun(const TChildRun&) = delete;
  TChildRun& operator=(const TChildRun&) = delete;

  // Waits up to ALimit for the exit, reading the captured output meanwhile:
  // the exit code, 128 plus the signal for a killed child, or -1 when it did
  // not end in time (it is then killed).
  int Wait(std::chrono::milliseconds ALimit = Patience);
  // Sends ASignal, then waits as Wait does.
  int Stop(int ASignal, std::chrono::milliseconds ALimit = Patience);
  void Signal(int ASignal) const;

  pid_t Pid() const { return FPid; }
  const std::string& Output() const { return FOutput; }
  // What the ended child used.
  const rusage& Usage() const { return FUsage; }

private:
  void Fork(const TChildSetup& ASetup, const std::function<void()>& AInChild);
  // Reads what the pipe holds, waiting up to AWait for it.
  void ReadOutput(std::chrono::milliseconds AWait);

  pid_t FPid = 0;
  int FOutputFd = -1;
  std::string FOutput;
  rusage FUsage{};
};

// What AArgs[0] printed on its standard output, waited for as TChildRun does;
// AExitCode gets its exit code (-1 when it hung and was killed).
std::string CommandOutput(const std::vector<std::string>& AArgs, int* AExitCode = nullptr);
// Whether AArgs[0] ran and exited with 0, its output and errors dropped.
bool CommandSucceeds(const std::vector<std::string>& AArgs);
// Whether AProgram is an executable file along the PATH.
bool OnPath(const std::string& AProgram);

}  // namespace orvella::testing
