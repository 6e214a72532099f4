#include "tests/support/LogGenerator.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

#include "engine/SampleValue.h"

namespace orvella::testing {
namespace {

struct TPingTarget {
  TLogId Id;
  const char* Descr;
  const char* Ip;
  double TypicalRtt;
  int Ttl;
};

constexpr TPingTarget PingTargets[] = {
    {TLogId::gateway, "gateway", "192.168.1.1", 2, 64},
    {TLogId::google, "google DNS", "8.8.8.8", 24, 117},
    {TLogId::rdp, "c1234.rdp.orvella.example", "203.0.113.40", 38, 121},
};

// The pinger's line: the request, then the reply or why there was none.
std::string PingText(const TPingTarget& ATarget, std::mt19937& ARandom) {
  std::string text =
      std::string("Ping ") + ATarget.Descr + " (" + ATarget.Ip + "): Timeout=4000ms MaxValue=150ms DataSize=1000.";
  std::uniform_real_distribution<double> chance(0, 1);
  const double roll = chance(ARandom);
  if (roll < 0.002)
    return text + " Time is out";
  if (roll < 0.0025)
    return text + " Error 11003: Destination host unreachable.";
  std::gamma_distribution<double> jitter(2.0, ATarget.TypicalRtt / 4);
  const int rtt = static_cast<int>(ATarget.TypicalRtt / 2 + jitter(ARandom));
  return text + " Reply from " + ATarget.Ip + ": DataSize=1000 RTT=" + std::to_string(rtt) +
         "ms TTL=" + std::to_string(ATarget.Ttl);
}

// A load that wanders like a real one: mostly low, with bursts.
class TLoad {
public:
  TLoad(double ABase, double ASpread, double AMax) : FValue(ABase), FBase(ABase), FSpread(ASpread), FMax(AMax) {}
  double Next(std::mt19937& ARandom) {
    std::normal_distribution<double> step(0, FSpread);
    FValue += step(ARandom) + (FBase - FValue) * 0.05;
    FValue = std::clamp(FValue, 0.0, FMax);
    return FValue;
  }

private:
  double FValue, FBase, FSpread, FMax;
};

}  // namespace

uint64_t GenerateLogs(const TLogsDir& ALogsDir, TDateTime ALastDay, int ADays) {
  ALogsDir.ForceExists();
  const platform::TFormatSettings settings;
  std::mt19937 random(20211219);
  uint64_t total = 0;
  for (int day = ADays - 1; day >= 0; --day) {
    const TDateTime date = DateOf(ALastDay) - day;
    for (const TLogId id : AllLogIds) {
      std::ofstream file(ALogsDir.LogFileName(id, date), std::ios::binary);
      TLoad cpu(12, 4, 100), ram(63, 0.05, 100), disk(0.02, 0.03, 8);
      std::string line;
      for (int second = 0; second < 86400; ++second) {
        const TDateTime time = date + second / 86400.0 + 0.1 / 86400.0;
        std::string value;
        switch (id) {
        case TLogId::gateway:
        case TLogId::google:
        case TLogId::rdp:
          value = PingText(PingTargets[static_cast<int>(id)], random);
          break;
        case TLogId::cpu:
          value = TSampleValue(cpu.Next(random)).ToText(settings);
          break;
        case TLogId::ram:
          value = TSampleValue(ram.Next(random)).ToText(settings);
          break;
        case TLogId::disk:
          value = TSampleValue(disk.Next(random)).ToText(settings);
          break;
        }
        line = FormatLogTimeStamp(time, settings.TimeSeparator) + " - " + value + "\r\n";
        file << line;
        total += line.size();
      }
    }
  }
  return total;
}

}  // namespace orvella::testing
