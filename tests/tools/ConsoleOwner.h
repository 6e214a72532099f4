#pragma once
// An owner of the monitoring loop that prints what the loop hands over, with
// a time stamp, one line each, and ends the loop when asked to terminate.
#include <cstdio>
#include <string>

#include "engine/MonThreadOwner.h"
#include "engine/Signals.h"
#include "platform/JobObject.h"

namespace orvella::testing {

class TConsoleOwner final : public IMonThreadOwner {
public:
  TConsoleOwner(TMonThreadSettings ASettings, std::FILE* AOutput);

  // Callable from any thread.
  void Terminate();
  void RequestReport();
  // Prints one line with a time stamp.
  void Print(const std::string& AText);

  TMonThreadSettings GetSettings() override;
  void ErrorOccured(TLogIds ALogIds) override;
  void ReportCreated(const std::string& AFileName) override;
  platform::TOsHandle GetJobObject() override;
  uint8_t WaitSignal(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj) override;

private:
  const TMonThreadSettings FSettings;
  std::FILE* const FOutput;
  TSignals FSignals;
  platform::TJobObject FJob;
};

}  // namespace orvella::testing
