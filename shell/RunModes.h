#pragma once
// The gate between the executable's run modes: "FixCounters" as the first
// argument is the counter repair; otherwise the monitor runs when its
// performance counters open, and when they do not, the repair runs elevated
// and a fresh monitor starts after it.
#include <QStringList>
#include <functional>
#include <string>

#include "base/RunProcess.h"

namespace orvella {

enum class TRunMode { Normal, FixCounters, RelaunchToFixCounters };

// The first argument that selects the repair mode, compared exactly.
inline constexpr const char* FixCountersArgument = "FixCounters";

class TRunModes {
public:
  // ACountersAvailable: whether the monitor's counters open; ARunProcess starts
  // programs; AExecutable: this program; AServicesKeyPath: the services key
  // that the repair copies out of the waiting relaunch.
  explicit TRunModes(std::function<bool()> ACountersAvailable = SystemCountersAvailable,
                     TProcessRunner ARunProcess = RunProcess, std::string AExecutable = ApplicationExecutable(),
                     std::string AServicesKeyPath = DefaultServicesKeyPath());

  // AArguments: the command line with the program at 0.
  TRunMode Choose(const QStringList& AArguments) const;

  // Runs this program elevated in the repair mode, waits for it, then starts a
  // fresh instance without waiting. Any failure, a declined elevation prompt
  // included, is shown in the application's exception report and no new
  // instance starts.
  void RelaunchToFixCounters() const;

  static bool SystemCountersAvailable();
  static std::string ApplicationExecutable();
  static std::string DefaultServicesKeyPath();

private:
  const std::function<bool()> FCountersAvailable;
  const TProcessRunner FRunProcess;
  const std::string FExecutable;
  const std::string FServicesKeyPath;
};

// The repair mode: the repair window as the only window, and the event loop
// until it closes. AArguments: the command line with the program at 0.
// Returns the process's exit code.
int RunFixCountersMode(const QStringList& AArguments);

// The main program's choice after the start-up work: the repair mode, the
// relaunch through the repair, or ANormalMode. Returns the process's exit code.
// A failure that escapes the chosen mode is shown as a start-up failure
// (standard error, and a message box where there is a display) and gives
// EXIT_FAILURE.
int RunChosenMode(const QStringList& AArguments, const std::function<int()>& ANormalMode,
                  const TRunModes& AGate = TRunModes());

}  // namespace orvella
