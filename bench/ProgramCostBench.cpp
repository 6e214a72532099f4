// bench_program_cost [CONNECTED_SECONDS [IDLE_SECONDS]] [--program PATH]
//
// The whole program's cost beside the console runner of the engine and
// collectd, all three at the same time in the client of the simulated network
// and watching the same targets. The program runs as a customer's would: an X
// display (Xvfb) with a tray host, a settings store holding a client number
// whose server name resolves to the lab's server. First connected to the
// server for CONNECTED_SECONDS (default 60), then, once the engines have
// noticed the connection is gone and the program's windows have closed, not
// connected for IDLE_SECONDS (default 180: the engine looks for a connection
// once a minute). Prints CPU seconds, wake-ups per second, peak and private
// memory, the ratios and whether the program keeps its bounds (at most twice
// the runner's CPU while connected, a few wake-ups a minute while not). PATH is the
// program to measure (the installed /usr/bin/orvella, say); the built one by
// default. Needs root.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "base/FixedValues.h"
#include "base/SettingsStore.h"
#include "bench/ProcessCost.h"
#include "platform/SettingsKey.h"
#include "tests/net/EngineRun.h"
#include "tests/net/NetLab.h"
#include "tests/support/ChildRun.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

using namespace orvella;
using namespace orvella::bench;
using namespace orvella::testing;

namespace {

constexpr const char* ClientNumber = "bench";
// The program has shown itself and taken its first samples.
constexpr int WarmUpSeconds = 8;

size_t CountLines(const std::string& AFolder, const std::string& ANamePart) {
  size_t lines = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(AFolder, error)) {
    if (entry.path().string().find(ANamePart) == std::string::npos)
      continue;
    std::ifstream file(entry.path());
    for (std::string line; std::getline(file, line);)
      ++lines;
  }
  return lines;
}

struct TRow {
  const char* Name;
  TClientProcess* Process;
  TProcessSample Start;
  TPhaseCost Cost;
};

std::string UtcTime() {
  const time_t now = time(nullptr);
  tm parts{};
  gmtime_r(&now, &parts);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &parts);
  return text;
}

// Waits until the process has gone quiet: at most AAllowed wake-ups in a
// window of AWindow, for at most ALimit. The seconds it took.
int WaitForQuiet(pid_t APid, uint64_t AAllowed, std::chrono::seconds AWindow, std::chrono::seconds ALimit) {
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < ALimit) {
    const uint64_t before = SampleProcess(APid).Switches;
    std::this_thread::sleep_for(AWindow);
    if (SampleProcess(APid).Switches - before <= AAllowed)
      break;
  }
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
}

void MeasurePhase(std::vector<TRow>& ARows, int ASeconds, const char* ATitle) {
  const std::string from = UtcTime();
  for (TRow& row : ARows)
    row.Start = SampleProcess(row.Process->Pid());
  std::this_thread::sleep_for(std::chrono::seconds(ASeconds));
  for (TRow& row : ARows)
    row.Cost = CostBetween(row.Start, SampleProcess(row.Process->Pid()), ASeconds);
  // Other work on the machine shows in the CPU seconds, and above 98 % of the
  // processor in the program's processor notice.
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  std::printf("\n%s, %d s from %s UTC (load average at the end %s):\n", ATitle, ASeconds, from.c_str(),
              load.substr(0, load.find(' ')).c_str());
  for (const TRow& row : ARows)
    std::printf("  %-9s %6.2f CPU s  %6.2f wake-ups/s (%5.1f a minute)  peak resident %6.1f MB  private %6.2f MB\n",
                row.Name, row.Cost.CpuSeconds, row.Cost.WakeupsPerSecond, row.Cost.WakeupsPerSecond * 60,
                row.Cost.PeakMb, row.Cost.PrivateMb);
  const TPhaseCost& ours = ARows[0].Cost;
  for (size_t i = 1; i < ARows.size(); ++i) {
    const TPhaseCost& theirs = ARows[i].Cost;
    std::printf("  program/%-9s CPU %s, wake-ups %s, peak resident %s, private %s\n", ARows[i].Name,
                Ratio(ours.CpuSeconds, theirs.CpuSeconds).c_str(),
                Ratio(ours.WakeupsPerSecond, theirs.WakeupsPerSecond).c_str(),
                Ratio(ours.PeakMb, theirs.PeakMb).c_str(), Ratio(ours.PrivateMb, theirs.PrivateMb).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string reason = TNetLab::SkipReason();
  if (!reason.empty()) {
    std::fprintf(stderr, "skipped: %s\n", reason.c_str());
    return 0;
  }
  std::vector<int> seconds;
  std::string program = ORVELLA_PROGRAM;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--program") == 0 && i + 1 < argc)
      program = argv[++i];
    else
      seconds.push_back(std::max(1, std::atoi(argv[i])));
  }
  const int connectedSeconds = seconds.size() > 0 ? seconds[0] : 60;
  const int idleSeconds = seconds.size() > 1 ? seconds[1] : 180;

  TTempDir dir;
  TNetLab lab;
  const std::string server = std::string(ClientNumber) + ServerDomainSuffix;
  lab.AddHostName(server, lab.ServerIp());
  auto connection = std::make_unique<TRdpConnection>(lab);

  // A customer's session: a home of its own, a display with a tray.
  const std::string runtime = dir / "runtime";
  std::filesystem::create_directories(runtime);
  chmod(runtime.c_str(), 0700);
  setenv("HOME", dir.Path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  platform::CurrentUserKey(SettingsKeyPath)
      ->OpenForWrite()
      ->Write("ClientId", {platform::TRegValueType::String, ClientNumber});
  const TXvfb xvfb("1280x800x24");
  if (xvfb.Display().empty()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  setenv("DISPLAY", xvfb.Display().c_str(), 1);
  const TChildRun tray({"trayer", "--edge", "top", "--align", "right", "--SetDockType", "true", "--expand", "false"},
                       {.Output = TChildSetup::TOutput::Quiet});

  std::ofstream(dir / "collectd.conf") << CollectdConfig(dir.Path(),
                                                         {TNetLab::GatewayIp, TNetLab::DnsIp, lab.ServerIp()});
  const std::string runnerLogs = dir / "runner-logs";
  const std::string programLogs = dir / "state";
  TClientProcess orvella(lab, {program}, dir / "program.txt");
  TClientProcess runner(lab, {ORVELLA_MONITOR_CONSOLE, server, "--logs", runnerLogs}, dir / "runner.txt");
  TClientProcess collectd(lab, {"collectd", "-f", "-C", dir / "collectd.conf"}, dir / "collectd.txt");
  std::this_thread::sleep_for(std::chrono::seconds(WarmUpSeconds));
  if (CountLines(programLogs, "_rdp.log") == 0) {
    std::fprintf(stderr, "the program does not sample the server (%s)\n", program.c_str());
    return 1;
  }

  std::printf("%s, the console runner and collectd side by side in the simulated network\n", program.c_str());
  std::vector<TRow> rows = {
      {"program", &orvella, {}, {}}, {"runner", &runner, {}, {}}, {"collectd", &collectd, {}, {}}};
  MeasurePhase(rows, connectedSeconds, "connected");

  // The engines look at the connection table once a minute; wait until both
  // have stopped sampling.
  connection.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (size_t before = 0, after = 1; before != after && std::chrono::steady_clock::now() < deadline;) {
    before = CountLines(programLogs, "_gateway.log") + CountLines(runnerLogs, "_gateway.log");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    after = CountLines(programLogs, "_gateway.log") + CountLines(runnerLogs, "_gateway.log");
  }
  const double connectedCpuRatio = rows[0].Cost.CpuSeconds / std::max(rows[1].Cost.CpuSeconds, 1e-6);
  // A notification window that the connected time left open (the processor
  // monitor's, say, when the machine is busy) closes a few seconds after its
  // last refresh; the time not connected starts once it is gone.
  const int settled = WaitForQuiet(orvella.Pid(), 2, std::chrono::seconds(8), std::chrono::seconds(60));
  std::printf("\nthe program went quiet %d s after the engines stopped sampling\n", settled);
  MeasurePhase(rows, idleSeconds, "not connected (collectd samples on: it does not know about the connection)");
  const double idleWakeups = rows[0].Cost.WakeupsPerSecond * 60;
  std::printf(
      "\nbounds: program CPU connected %.2f times the runner's (at most 2: %s); "
      "not connected %.1f wake-ups a minute (a few at most: %s)\n",
      connectedCpuRatio, connectedCpuRatio <= 2 ? "met" : "NOT met", idleWakeups,
      idleWakeups <= 5 ? "met" : "NOT met");

  for (TClientProcess* process : {&orvella, &runner, &collectd})
    if (process->Stop(SIGTERM, std::chrono::seconds(20)) < 0)
      std::fprintf(stderr, "a program did not stop on SIGTERM\n");
  return 0;
}
