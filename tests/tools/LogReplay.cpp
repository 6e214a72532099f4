// Replays the daily log files of a logs folder through the engine's own
// monitors and masking, and prints when the program showed a notification:
//   orvella_log_replay FOLDER
// One line per notified sample, "<time stamp of its line> <monitor>". The
// report page computes the same from the same files; the two must agree.
//
// The lines are grouped into the loop's sampling cycles as the page groups
// them: each cycle takes, in monitor order, the next line of every monitor
// written within a second of the cycle's earliest one. A monitor's history is
// emptied where the loop empties it: the pinger's own when its address
// changes (SetIp), every monitor's when sampling resumes after more than 45 s
// (a new connection or a new start) or when the processor and disk samples of
// a cycle are empty (a new start: rate counters have no first value).
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/CounterLog.h"
#include "engine/MonThread.h"
#include "engine/Pinger.h"
#include "engine/UsedMemoryLog.h"
#include "platform/Exceptions.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeIcmp.h"
#include "tests/support/FakePerfCounters.h"
#include "tests/support/FakeTickSource.h"
#include "tests/support/TempDir.h"

using namespace orvella;

namespace {

constexpr double GapSeconds = 45;
constexpr double CycleSpreadSeconds = 1;

struct TLine {
  double Seconds = 0;  // of the local time stamp, counted from 30.12.1899
  TDateTime Time = 0;
  std::string Stamp;
  TSampleValue Value;
  uint32_t Ip = 0;  // pingers: the target's address as the line names it
};

// "dd.mm.yyyy hh:nn:ss - " and the value text; false when it is not such a line.
bool SplitLine(const std::string& AText, TLine& ALine, std::string& AValue) {
  if (AText.size() < 22 || AText.compare(19, 3, " - ") != 0)
    return false;
  int day, month, year, hour, minute, second;
  char dot1, dot2, sep1, sep2;
  if (std::sscanf(AText.c_str(), "%2d%c%2d%c%4d %2d%c%2d%c%2d", &day, &dot1, &month, &dot2, &year, &hour, &sep1,
                  &minute, &sep2, &second) != 10 ||
      dot1 != '.' || dot2 != '.' || sep1 != sep2 || !IsValidDate(year, month, day) || hour > 23 || minute > 59 ||
      second > 59)
    return false;
  ALine.Time = EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
  ALine.Seconds = std::round(ALine.Time * 86400.0);
  ALine.Stamp = AText.substr(0, 19);
  AValue = AText.substr(22);
  return true;
}

std::optional<uint32_t> ParseIp(const std::string& AText) {
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(AText.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 || c > 255 ||
      d > 255)
    return std::nullopt;
  return a | (b << 8) | (c << 16) | (d << 24);  // network byte order, as the pinger keeps it
}

// The request, then " Reply from <ip>: DataSize=<n> RTT=<ms>ms TTL=<n>", or a
// blank and the text of why there was none (nothing for no target).
bool ParsePing(const std::string& AValue, TLine& ALine) {
  if (AValue.rfind("Ping ", 0) != 0)
    return false;
  const size_t close = AValue.find("): Timeout=");
  const size_t open = close == std::string::npos ? close : AValue.rfind('(', close);
  const size_t size = close == std::string::npos ? close : AValue.find(" DataSize=", close);
  if (open == std::string::npos || size == std::string::npos)
    return false;
  const std::optional<uint32_t> ip = ParseIp(AValue.substr(open + 1, close - open - 1));
  size_t end = size + 10;
  while (end < AValue.size() && std::isdigit(static_cast<unsigned char>(AValue[end])))
    ++end;
  if (!ip || end == size + 10 || end >= AValue.size() || AValue[end] != '.')
    return false;
  ALine.Ip = *ip;
  const std::string rest = AValue.substr(end + 1);
  if (rest.empty() || rest == " ") {
    ALine.Value = TSampleValue();
  } else if (rest.rfind(" Reply from ", 0) == 0) {
    const size_t rtt = rest.find(" RTT=");
    const size_t ms = rtt == std::string::npos ? rtt : rest.find("ms TTL=", rtt);
    if (ms == std::string::npos || ms == rtt + 5)
      return false;
    char* stop = nullptr;
    const long value = std::strtol(rest.c_str() + rtt + 5, &stop, 10);
    if (stop != rest.c_str() + ms)
      return false;
    ALine.Value = static_cast<int64_t>(value);
  } else if (rest[0] == ' ') {
    ALine.Value = rest.substr(1);
  } else {
    return false;
  }
  return true;
}

// A real number in the general format the monitors write (either decimal
// separator), NAN, INF, -INF; anything else is the text of a failed sample.
void ParseLoad(const std::string& AValue, TLine& ALine) {
  if (AValue.empty()) {
    ALine.Value = TSampleValue();
    return;
  }
  if (AValue == "NAN" || AValue == "INF" || AValue == "-INF") {
    ALine.Value = AValue == "NAN" ? std::numeric_limits<double>::quiet_NaN()
                                  : (AValue[0] == '-' ? -1.0 : 1.0) * std::numeric_limits<double>::infinity();
    return;
  }
  std::string text = AValue;
  std::replace(text.begin(), text.end(), ',', '.');
  const bool shaped = text.find_first_not_of("0123456789.-E") == std::string::npos &&
                      std::isdigit(static_cast<unsigned char>(text.back())) && text.find("..") == std::string::npos;
  char* stop = nullptr;
  errno = 0;
  const double value = shaped ? std::strtod(text.c_str(), &stop) : 0;
  if (shaped && stop == text.c_str() + text.size())
    ALine.Value = value;
  else
    ALine.Value = AValue;
}

std::vector<TLine> ReadLines(const std::vector<std::string>& AFiles, bool APinger, int& ABadLines) {
  std::vector<TLine> lines;
  for (const std::string& file : AFiles) {
    std::ifstream in(file, std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
      if (!text.empty() && text.back() == '\r')
        text.pop_back();
      TLine line;
      std::string value;
      if (!SplitLine(text, line, value) || (APinger && !ParsePing(value, line))) {
        ++ABadLines;
        continue;
      }
      if (!APinger)
        ParseLoad(value, line);
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

// A monitor whose sample is the replayed line: the engine's own class with
// its bounds and rule, fed instead of measuring.
template <typename TBase>
class TReplayed : public TBase {
public:
  using TBase::TBase;
  TSampleValue Next;

protected:
  void GetValue(TSampleValue& AValue) override { AValue = Next; }
  void FormatLogText(const TSampleValue& AValue, TDateTime ATime, std::string& AText) override {
    TMonLog::FormatLogText(AValue, ATime, AText);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvella_log_replay FOLDER\n");
    return 2;
  }
  try {
    // The daily files of each monitor, oldest first, as the engine names them.
    std::array<std::vector<std::pair<TDateTime, std::string>>, LogIdCount> files;
    TLogsDir(argv[1]).EnumFiles(
        [&files](const std::string& APath, const std::string& AName, TDateTime ADate, bool AIsArchive) {
          std::string name = AName;
          std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
          for (const TLogId id : AllLogIds)
            if (!AIsArchive && name == LogIdName(id))
              files[static_cast<size_t>(id)].emplace_back(ADate, APath);
        });

    testing::TTempDir scratch;  // the replayed monitors write their lines here
    const TLogsDir out(scratch.Path());
    testing::TFakeClock clock;
    testing::TFakeTickSource ticks;
    testing::TFakeIcmp icmp(ticks);
    testing::TFakePerfCounters counters;
    std::array<std::unique_ptr<TMonLog>, LogIdCount> monitors;
    std::array<TSampleValue*, LogIdCount> next{};
    std::array<TReplayed<TPinger>*, LogIdCount> pingers{};
    for (const TLogId id : {TLogId::gateway, TLogId::google, TLogId::rdp}) {
      auto pinger = std::make_unique<TReplayed<TPinger>>(id, out, clock, icmp, ticks);
      next[static_cast<size_t>(id)] = &pinger->Next;
      pingers[static_cast<size_t>(id)] = pinger.get();
      monitors[static_cast<size_t>(id)] = std::move(pinger);
    }
    auto cpu = std::make_unique<TReplayed<TCounterLog>>(ProcessorTimeCounterPath, ProcessorTimeMax, TLogId::cpu, out,
                                                        clock, counters);
    auto ram = std::make_unique<TReplayed<TUsedMemoryLog>>(TLogId::ram, out, clock, counters);
    auto disk = std::make_unique<TReplayed<TCounterLog>>("\\LogicalDisk(C:)\\Avg. Disk Queue Length", DiskQueueMax,
                                                         TLogId::disk, out, clock, counters);
    next[3] = &cpu->Next;
    next[4] = &ram->Next;
    next[5] = &disk->Next;
    monitors[3] = std::move(cpu);
    monitors[4] = std::move(ram);
    monitors[5] = std::move(disk);

    std::array<std::vector<TLine>, LogIdCount> lines;
    int bad = 0;
    for (const TLogId id : AllLogIds) {
      auto& list = files[static_cast<size_t>(id)];
      std::sort(list.begin(), list.end());
      std::vector<std::string> paths;
      for (const auto& [date, path] : list)
        paths.push_back(path);
      lines[static_cast<size_t>(id)] = ReadLines(paths, pingers[static_cast<size_t>(id)] != nullptr, bad);
    }

    std::array<size_t, LogIdCount> cursor{};
    double previous = -std::numeric_limits<double>::infinity();
    for (;;) {
      double first = std::numeric_limits<double>::infinity();
      for (size_t m = 0; m < LogIdCount; ++m)
        if (cursor[m] < lines[m].size())
          first = std::min(first, lines[m][cursor[m]].Seconds);
      if (first == std::numeric_limits<double>::infinity())
        break;
      std::array<const TLine*, LogIdCount> members{};
      for (size_t m = 0; m < LogIdCount; ++m)
        if (cursor[m] < lines[m].size() && lines[m][cursor[m]].Seconds <= first + CycleSpreadSeconds)
          members[m] = &lines[m][cursor[m]++];

      const bool anyLoad = members[3] || members[5];
      const bool restart =
          anyLoad && (!members[3] || members[3]->Value.IsEmpty()) && (!members[5] || members[5]->Value.IsEmpty());
      if (first - previous > GapSeconds || restart)
        for (const auto& monitor : monitors)
          monitor->ClearErrors();
      previous = first;

      TLogIds errors;
      for (size_t m = 0; m < LogIdCount; ++m) {
        if (!members[m])
          continue;
        if (pingers[m])
          pingers[m]->SetIp(members[m]->Ip);
        *next[m] = members[m]->Value;
        clock.SetLocal(members[m]->Time);
        if (!monitors[m]->LogNewValue())
          errors.Include(AllLogIds[m]);
      }
      errors = MaskedErrors(errors);
      for (size_t m = 0; m < LogIdCount; ++m)
        if (errors.Contains(AllLogIds[m]))
          std::printf("%s %s\n", members[m]->Stamp.c_str(), std::string(LogIdName(AllLogIds[m])).c_str());
    }
    if (bad > 0)
      std::fprintf(stderr, "orvella_log_replay: %d lines that do not parse were left out\n", bad);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvella_log_replay: %s\n", e.what());
    return 1;
  }
}
