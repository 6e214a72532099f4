#pragma once
// The work of the counter repair, on a thread of its own: the performance
// services are switched on again, then the commands that rebuild the counters
// run. Every log line goes to the GUI thread through its queue; the worker
// never touches a window.
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/RunProcess.h"
#include "platform/PerfServices.h"

namespace orvella {

// The class name and the message of an exception, as the repair log shows them.
struct TExceptionDescription {
  std::string ClassName;
  std::string Message;
  bool HasMessage = false;
};
TExceptionDescription DescribeException(const std::exception_ptr& AError);

class TFixCountersWorker {
public:
  using TAddLog = std::function<void(const std::string& AText, bool AError)>;
  // Gets the exception that ended the work early, or none.
  using TFinish = std::function<void(const std::exception_ptr& AError)>;

  // AArguments: the command line, the program at 0 and "FixCounters" at 1;
  // 2 is the waiting process's identifier, 3 its handle of the services key.
  // AAddLog and AFinish run on the GUI thread, AFinish after every log line.
  TFixCountersWorker(std::vector<std::string> AArguments, TAddLog AAddLog, TFinish AFinish,
                     platform::IPerfServices& AServices = platform::SystemPerfServices(),
                     TProcessRunner ARunProcess = RunProcess);
  // Waits for the work to end.
  ~TFixCountersWorker();
  TFixCountersWorker(const TFixCountersWorker&) = delete;
  TFixCountersWorker& operator=(const TFixCountersWorker&) = delete;

  void Start();

private:
  void Execute();
  void Log(const std::string& AText, bool AError);
  void Run(const std::string& AExe, const std::string& AParams);
  void EnablePerfServices();
  void EnableService(const platform::TServicesKey& AKey, const std::string& ServiceName);

  const std::vector<std::string> FArguments;
  const TAddLog FAddLog;
  const TFinish FFinish;
  platform::IPerfServices& FServices;
  const TProcessRunner FRunProcess;
  std::thread FThread;
};

}  // namespace orvella
