#include "shell/RunModes.h"

#include <QApplication>
#include <cstdlib>

#include "base/ExceptionReport.h"
#include "engine/CounterLog.h"
#include "platform/PerfServices.h"
#include "repair/FixCountersForm.h"
#include "shell/StartUp.h"

namespace orvella {

TRunModes::TRunModes(std::function<bool()> ACountersAvailable, TProcessRunner ARunProcess, std::string AExecutable,
                     std::string AServicesKeyPath)
    : FCountersAvailable(std::move(ACountersAvailable)), FRunProcess(std::move(ARunProcess)),
      FExecutable(std::move(AExecutable)), FServicesKeyPath(std::move(AServicesKeyPath)) {}

bool TRunModes::SystemCountersAvailable() { return CountersAvailable(); }

std::string TRunModes::ApplicationExecutable() { return QCoreApplication::applicationFilePath().toStdString(); }

std::string TRunModes::DefaultServicesKeyPath() { return platform::ServicesKeyPath(); }

TRunMode TRunModes::Choose(const QStringList& AArguments) const {
  if (AArguments.size() > 1 && AArguments[1] == QLatin1String(FixCountersArgument))
    return TRunMode::FixCounters;
  return FCountersAvailable() ? TRunMode::Normal : TRunMode::RelaunchToFixCounters;
}

void TRunModes::RelaunchToFixCounters() const {
  try {
    // Open until both runs are over: the repair copies it out of this process.
    const platform::TServicesKey key = platform::OpenServicesKey(FServicesKeyPath);
    const std::string params = std::string(FixCountersArgument) + " " + std::to_string(platform::CurrentProcessId()) +
                               " " + std::to_string(key.Handle());
    FRunProcess(FExecutable, params, true, true, true);
    FRunProcess(FExecutable, "", true, false, false);
  } catch (...) {
    ShowExceptionReport(std::current_exception());
  }
}

int RunFixCountersMode(const QStringList& AArguments) {
  std::vector<std::string> arguments;
  for (const QString& argument : AArguments)
    arguments.push_back(argument.toStdString());
  // The repair window is the main form: closing it ends the process.
  QApplication::setQuitOnLastWindowClosed(true);
  const TfrmFixCounters frmFixCounters(std::move(arguments));
  return QApplication::exec();
}

int RunChosenMode(const QStringList& AArguments, const std::function<int()>& ANormalMode, const TRunModes& AGate) {
  // Nothing may leave main as an exception: the run mode's objects (threads,
  // pipes, windows) can fail to come up before any event loop runs.
  try {
    switch (AGate.Choose(AArguments)) {
    case TRunMode::FixCounters:
      return RunFixCountersMode(AArguments);
    case TRunMode::RelaunchToFixCounters:
      AGate.RelaunchToFixCounters();
      return EXIT_SUCCESS;
    case TRunMode::Normal:
      break;
    }
    return ANormalMode();
  } catch (...) {
    ReportStartUpFailure(ExceptionText(std::current_exception()));
    return EXIT_FAILURE;
  }
}

}  // namespace orvella
