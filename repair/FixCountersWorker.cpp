#include "repair/FixCountersWorker.h"

#include <cstdio>

#include "base/GuiQueue.h"
#include "platform/Exceptions.h"

namespace orvella {

namespace {

// An unsigned decimal number, as the relaunch writes them.
uint64_t ParseUnsigned(const std::string& AText) {
  uint64_t value = 0;
  bool valid = !AText.empty() && AText.size() <= 20;
  for (const char digit : AText) {
    if (digit < '0' || digit > '9' || value > (UINT64_MAX - (digit - '0')) / 10) {
      valid = false;
      break;
    }
    value = value * 10 + static_cast<uint64_t>(digit - '0');
  }
  if (!valid)
    throw EConvertError("'" + AText + "' is not a valid integer value");
  return value;
}

std::string ExceptionLine(const char* APrefix, const std::exception_ptr& AError) {
  const TExceptionDescription description = DescribeException(AError);
  return APrefix + description.ClassName + "\r\n" + description.Message;
}

}  // namespace

TExceptionDescription DescribeException(const std::exception_ptr& AError) {
  try {
    std::rethrow_exception(AError);
  } catch (const Exception& error) {
    return {error.ClassName(), error.what(), true};
  } catch (const std::exception& error) {
    return {"Exception", error.what(), true};
  } catch (...) {
    return {"Exception", {}, false};
  }
}

TFixCountersWorker::TFixCountersWorker(std::vector<std::string> AArguments, TAddLog AAddLog, TFinish AFinish,
                                       platform::IPerfServices& AServices, TProcessRunner ARunProcess)
    : FArguments(std::move(AArguments)), FAddLog(std::move(AAddLog)), FFinish(std::move(AFinish)),
      FServices(AServices), FRunProcess(std::move(ARunProcess)) {}

TFixCountersWorker::~TFixCountersWorker() {
  if (FThread.joinable())
    FThread.join();
}

void TFixCountersWorker::Start() {
  FThread = std::thread([this] { Execute(); });
}

void TFixCountersWorker::Execute() {
  std::exception_ptr error;
  try {
    const std::vector<platform::TRepairCommand> commands = FServices.PrepareRepairCommands();
    EnablePerfServices();
    for (const platform::TRepairCommand& command : commands)
      Run(command.Exe, command.Params);
  } catch (...) {
    error = std::current_exception();
  }
  QueueToGuiThread([finish = FFinish, error] { finish(error); });
}

void TFixCountersWorker::Log(const std::string& AText, bool AError) {
  QueueToGuiThread([addLog = FAddLog, AText, AError] { addLog(AText, AError); });
}

void TFixCountersWorker::Run(const std::string& AExe, const std::string& AParams) {
  Log(AExe + " " + AParams, false);
  uint32_t exitCode = 0;
  std::string s;
  try {
    exitCode = FRunProcess(AExe, AParams, false, true, true);
    char text[32];
    std::snprintf(text, sizeof text, "Exit code: %d", static_cast<int32_t>(exitCode));
    s = text;
  } catch (...) {
    exitCode = 1;
    s = ExceptionLine("Exception: ", std::current_exception());
  }
  Log(s, exitCode != 0);
}

void TFixCountersWorker::EnablePerfServices() {
  Log("Openining services", false);
  try {
    const uint64_t processId = ParseUnsigned(FArguments.size() > 2 ? FArguments[2] : std::string());
    const uint64_t handle = ParseUnsigned(FArguments.size() > 3 ? FArguments[3] : std::string());
    if (processId > UINT32_MAX)
      throw ERangeError(FArguments[2] + " is not a process identifier");
    const platform::TServicesKey key =
        platform::CopyServicesKey(static_cast<uint32_t>(processId), static_cast<platform::TOsHandle>(handle));
    EnableService(key, "PerfOS");
    EnableService(key, "PerfDisk");
  } catch (...) {
    Log(ExceptionLine("Exception: ", std::current_exception()), true);
  }
}

void TFixCountersWorker::EnableService(const platform::TServicesKey& AKey, const std::string& ServiceName) {
  Log(ServiceName, false);
  bool Error = false;
  std::string s;
  try {
    s = FServices.EnableServiceCounters(AKey, ServiceName) ? "Service successfully enabled"
                                                           : "Service already enabled";
  } catch (...) {
    Error = true;
    s = ExceptionLine("Exception ", std::current_exception());
  }
  Log(s, Error);
}

}  // namespace orvella
