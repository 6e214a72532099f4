#pragma once
// Performance counters whose answers a test scripts one collection at a time,
// or answers that stay the same for the counter of one path.
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
  // The steady answer of the counter of a path, before Answers.
  std::map<std::string, TAnswer> PathAnswers;
  uint64_t TotalBytes = 8ull << 30;
  bool TotalFails = false;
  std::vector<std::string> Added;
  int OpenQueries = 0;

  platform::TPdhStatus OpenQuery(platform::TOsHandle& AQuery) override {
    AQuery = FNext++;
    ++OpenQueries;
    return 0;
  }
  platform::TPdhStatus AddEnglishCounter(platform::TOsHandle AQuery, const std::string& APath,
                                         platform::TOsHandle& ACounter) override {
    Added.push_back(APath);
    const auto refused = Refused.find(APath);
    if (refused != Refused.end())
      return refused->second;
    ACounter = FNext++;
    FCounters[ACounter] = {AQuery, APath};
    return 0;
  }
  platform::TPdhStatus CollectQueryData(platform::TOsHandle AQuery) override {
    for (const auto& [counter, added] : FCounters) {
      if (added.Query == AQuery && PathAnswers.contains(added.Path))
        return PathAnswers[added.Path].Collect;
    }
    if (Answers.size() > 1 && FAnswered)
      Answers.pop_front();
    FAnswered = true;
    return Answers.empty() ? 0 : Answers.front().Collect;
  }
  platform::TPdhStatus GetFormattedCounterValue(platform::TOsHandle ACounter,
                                                platform::TPdhFmtCounterValue& AValue) override {
    const auto added = FCounters.find(ACounter);
    const auto steady = added == FCounters.end() ? PathAnswers.end() : PathAnswers.find(added->second.Path);
    const TAnswer answer = steady != PathAnswers.end() ? steady->second
                           : Answers.empty()           ? TAnswer{}
                                                       : Answers.front();
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
  struct TAdded {
    platform::TOsHandle Query;
    std::string Path;
  };
  std::map<platform::TOsHandle, TAdded> FCounters;
  platform::TOsHandle FNext = 1;
  bool FAnswered = false;
};

}  // namespace orvella::testing
