#pragma once
// Performance counters whose answers a test scripts one collection at a time.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/PerfCounters.h"

namespace orvella::testing {

class TFakePerfCounters final : public platform::IPerfCounters {
public:
  struct TAnswer {
    platform::TPdhStatus Collect = 0;
    platform::TPdhStatus Status = 0;
    platform::TPdhStatus CStatus = 0;
    double Value = 0;
  };
  static TAnswer Value(double AValue) { return {0, 0, 0, AValue}; }
  static TAnswer NoValueYet() { return {0, platform::PdhInvalidData, platform::PdhCStatusInvalidData, 0}; }
  static TAnswer NegativeDenominator() {
    return {0, platform::PdhCalcNegativeDenominator, platform::PdhCalcNegativeDenominator, 0};
  }
  static TAnswer CollectFails(platform::TPdhStatus AStatus) { return {AStatus, 0, 0, 0}; }

  // Paths whose counter cannot be added, with the status of the refusal.
  std::map<std::string, platform::TPdhStatus> Refused;
  std::deque<TAnswer> Answers;  // answered in order; the last one repeats
  uint64_t TotalBytes = 8ull << 30;
  bool TotalFails = false;
  std::vector<std::string> Added;
  int OpenQueries = 0;

  platform::TPdhStatus OpenQuery(platform::TOsHandle& AQuery) override {
    AQuery = FNext++;
    ++OpenQueries;
    return 0;
  }
  platform::TPdhStatus AddEnglishCounter(platform::TOsHandle, const std::string& APath,
                                         platform::TOsHandle& ACounter) override {
    Added.push_back(APath);
    const auto refused = Refused.find(APath);
    if (refused != Refused.end())
      return refused->second;
    ACounter = FNext++;
    return 0;
  }
  platform::TPdhStatus CollectQueryData(platform::TOsHandle) override {
    if (Answers.size() > 1 && FAnswered)
      Answers.pop_front();
    FAnswered = true;
    return Answers.empty() ? 0 : Answers.front().Collect;
  }
  platform::TPdhStatus GetFormattedCounterValue(platform::TOsHandle, platform::TPdhFmtCounterValue& AValue) override {
    const TAnswer answer = Answers.empty() ? TAnswer{} : Answers.front();
    AValue.CStatus = answer.CStatus;
    AValue.DoubleValue = answer.Value;
    return answer.Status;
  }
  void CloseQuery(platform::TOsHandle) override { --OpenQueries; }
  bool TotalPhysicalMemory(uint64_t& ABytes, int& ALastError) override {
    if (TotalFails) {
      ALastError = 12;
      return false;
    }
    ABytes = TotalBytes;
    return true;
  }

private:
  platform::TOsHandle FNext = 1;
  bool FAnswered = false;
};

}  // namespace orvella::testing
