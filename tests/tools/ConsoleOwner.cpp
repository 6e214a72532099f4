#include "tests/tools/ConsoleOwner.h"

#include <chrono>
#include <ctime>

namespace orvella::testing {

TConsoleOwner::TConsoleOwner(TMonThreadSettings ASettings, std::FILE* AOutput)
    : FSettings(std::move(ASettings)), FOutput(AOutput), FSignals(3) {}

void TConsoleOwner::Terminate() { FSignals.SetSignal(sigTerminate, true); }

void TConsoleOwner::RequestReport() { FSignals.SetSignal(sigCollectReport, true); }

void TConsoleOwner::Print(const std::string& AText) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local;
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::fprintf(FOutput, "%s.%03d %s\n", stamp, static_cast<int>(millis), AText.c_str());
  std::fflush(FOutput);
}

TMonThreadSettings TConsoleOwner::GetSettings() { return FSettings; }

void TConsoleOwner::ErrorOccured(TLogIds ALogIds) {
  std::string names;
  for (const TLogId id : AllLogIds)
    if (ALogIds.Contains(id))
      names += (names.empty() ? "" : ",") + std::string(LogIdName(id));
  Print("errors " + names);
}

void TConsoleOwner::ReportCreated(const std::string& AFileName) {
  Print(AFileName.empty() ? "report abandoned" : "report " + AFileName);
}

platform::TOsHandle TConsoleOwner::GetJobObject() { return FJob.Handle(); }

uint8_t TConsoleOwner::WaitSignal(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj) {
  const uint8_t result = FSignals.Wait(AIndices, ATimeout, AObj);
  if (result == sigCollectReport)
    FSignals.SetSignal(sigCollectReport, false);
  return result;
}

}  // namespace orvella::testing
