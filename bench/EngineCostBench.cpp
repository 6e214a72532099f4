// bench_engine_cost [SECONDS]: the engine's own cost while connected, in the
// simulated network. The console runner and collectd (ping with the same
// payload, processor, memory and the same disk, once a second, CSV) watch the
// same targets side by side, over the same seconds; prints the CPU seconds,
// wake-ups and memory of both, counted the same way, and their ratios. Then,
// for as many seconds again, strace -f -c counts the system calls of every
// thread of both (apart from the first phase: tracing slows what it traces).
// Needs root.
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "bench/ProcessCost.h"
#include "tests/net/EngineRun.h"
#include "tests/net/NetLab.h"
#include "tests/support/ChildRun.h"
#include "tests/support/TempDir.h"

using namespace orvella::bench;
using namespace orvella::testing;

namespace {

// Both programs have loaded what they need and taken a first sample.
constexpr int WarmUpSeconds = 3;

size_t CountLines(const std::filesystem::path& AFolder, const std::string& ANamePart) {
  size_t lines = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(AFolder)) {
    if (!entry.is_regular_file() || entry.path().string().find(ANamePart) == std::string::npos)
      continue;
    std::ifstream file(entry.path());
    for (std::string line; std::getline(file, line);)
      ++lines;
  }
  return lines;
}

// strace -c's summary in AFile: the calls of each system call, most first,
// and of all together ("total"); empty when strace wrote none.
std::vector<std::pair<std::string, long>> TracedCalls(const std::string& AFile) {
  std::vector<std::pair<std::string, long>> calls;
  std::ifstream file(AFile);
  for (std::string line; std::getline(file, line);) {
    // % time, seconds, usecs/call, calls, [errors,] name
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;)
      words.push_back(word);
    if (words.size() >= 5 && std::isdigit(static_cast<unsigned char>(words[3][0])))
      calls.emplace_back(words.back(), std::atol(words[3].c_str()));
  }
  return calls;
}

long TotalOf(const std::vector<std::pair<std::string, long>>& ACalls) {
  for (const auto& [name, count] : ACalls)
    if (name == "total")
      return count;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string reason = TNetLab::SkipReason();
  if (!reason.empty()) {
    std::fprintf(stderr, "skipped: %s\n", reason.c_str());
    return 0;
  }
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  TTempDir dir;
  TNetLab lab;
  const TRdpConnection connection(lab);

  const std::string logs = dir / "Logs";
  std::ofstream(dir / "collectd.conf") << CollectdConfig(dir.Path(),
                                                         {TNetLab::GatewayIp, TNetLab::DnsIp, lab.ServerIp()});
  TClientProcess runner(lab, {ORVELLA_MONITOR_CONSOLE, std::string(TNetLab::ServerName) + ":3389", "--logs", logs},
                        dir / "runner.txt");
  TClientProcess collectd(lab, {"collectd", "-f", "-C", dir / "collectd.conf"}, dir / "collectd.txt");
  std::this_thread::sleep_for(std::chrono::seconds(WarmUpSeconds));

  const TProcessSample ourStart = SampleProcess(runner.Pid());
  const TProcessSample theirStart = SampleProcess(collectd.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const TPhaseCost ours = CostBetween(ourStart, SampleProcess(runner.Pid()), seconds);
  const TPhaseCost theirs = CostBetween(theirStart, SampleProcess(collectd.Pid()), seconds);

  std::vector<std::unique_ptr<TChildRun>> tracers;
  const std::vector<std::pair<pid_t, std::string>> traced = {{runner.Pid(), dir / "runner.strace"},
                                                             {collectd.Pid(), dir / "collectd.strace"}};
  for (const auto& [pid, file] : traced)
    tracers.push_back(std::make_unique<TChildRun>(
        std::vector<std::string>{"strace", "-f", "-c", "-qq", "-o", file, "-p", std::to_string(pid)},
        TChildSetup{.Output = TChildSetup::TOutput::Quiet}));
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  for (const auto& tracer : tracers)
    tracer->Stop(SIGINT, std::chrono::seconds(20));
  const auto ourTrace = TracedCalls(dir / "runner.strace");
  const long ourCalls = TotalOf(ourTrace);
  const long theirCalls = TotalOf(TracedCalls(dir / "collectd.strace"));

  for (TClientProcess* process : {&runner, &collectd})
    if (process->Stop(SIGTERM, std::chrono::seconds(20)) < 0) {
      std::fprintf(stderr, "a program did not stop\n");
      return 1;
    }

  std::printf("%d s connected in the simulated network, both at the same time\n", seconds);
  const auto print = [](const char* AName, const TPhaseCost& ACost, size_t ASamples) {
    std::printf("%-9s %.2f CPU s, %.1f wake-ups/s, peak resident %.1f MB, private %.2f MB, %zu gateway samples\n",
                AName, ACost.CpuSeconds, ACost.WakeupsPerSecond, ACost.PeakMb, ACost.PrivateMb, ASamples);
  };
  print("ours:", ours, CountLines(logs, "_gateway.log"));
  print("collectd:", theirs, CountLines(dir / "csv", "ping-" + std::string(TNetLab::GatewayIp)));
  std::printf("ratios ours/collectd: CPU %s, wake-ups %s, peak resident %s, private %s\n",
              Ratio(ours.CpuSeconds, theirs.CpuSeconds).c_str(),
              Ratio(ours.WakeupsPerSecond, theirs.WakeupsPerSecond).c_str(),
              Ratio(ours.PeakMb, theirs.PeakMb).c_str(), Ratio(ours.PrivateMb, theirs.PrivateMb).c_str());
  // Both sample once a second: calls per second are calls per cycle.
  if (ourCalls < 0 || theirCalls < 0) {
    std::printf("system calls: strace gave no count (package strace)\n");
  } else {
    std::printf("system calls per one-second cycle (strace -f -c, %d s): ours %.1f, collectd %.1f, ratio %s\n",
                seconds, static_cast<double>(ourCalls) / seconds, static_cast<double>(theirCalls) / seconds,
                Ratio(static_cast<double>(ourCalls), static_cast<double>(theirCalls)).c_str());
    std::printf("ours per cycle:");
    for (const auto& [name, count] : ourTrace)
      if (name != "total")
        std::printf(" %s %.1f", name.c_str(), static_cast<double>(count) / seconds);
    std::printf("\n");
  }
  return 0;
}
