#pragma once
// An owner of the monitoring loop that records what the loop hands over and
// answers its waits from a script, so loop rules run without a clock.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/MonThreadOwner.h"

namespace orvella::testing {

class TFakeMonThreadOwner : public IMonThreadOwner {
public:
  struct TWait {
    TSigSet Indices;
    uint32_t Timeout;
    platform::TOsHandle Obj;
  };
  // Answers one WaitSignal; the default answers sigNone at once.
  using TWaitAnswer = std::function<uint8_t(const TWait&)>;

  TMonThreadSettings Settings;
  platform::TOsHandle Job = 0;
  TWaitAnswer Answer = [](const TWait&) { return sigNone; };

  TMonThreadSettings GetSettings() override {
    const std::lock_guard lock(FLock);
    ++SettingsCalls;
    return Settings;
  }
  void ErrorOccured(TLogIds ALogIds) override {
    const std::lock_guard lock(FLock);
    Errors.push_back(ALogIds);
  }
  void ReportCreated(const std::string& AFileName) override {
    const std::lock_guard lock(FLock);
    Reports.push_back(AFileName);
  }
  platform::TOsHandle GetJobObject() override { return Job; }
  uint8_t WaitSignal(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj) override {
    const TWait wait{AIndices, ATimeout, AObj};
    {
      const std::lock_guard lock(FLock);
      Waits.push_back(wait);
    }
    return Answer(wait);
  }

  int SettingsCalls = 0;
  std::vector<TLogIds> Errors;
  std::vector<std::string> Reports;
  std::vector<TWait> Waits;

private:
  std::mutex FLock;
};

}  // namespace orvella::testing
