// bench_engine_cost [SECONDS]: the engine's own cost while connected, in the
// simulated network. The console runner and collectd (ping, cpu, memory and
// disk plugins at a one-second interval, CSV) watch the same targets for the
// same time, one after the other; prints the CPU seconds and peak memory of
// both and their ratios. Needs root.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/net/EngineRun.h"
#include "tests/net/NetLab.h"
#include "tests/support/TempDir.h"

using namespace orvella::testing;

namespace {

struct TCost {
  double CpuSeconds;
  double PeakMb;
  double PrivateMb;
  double ProportionalMb;
};

// A "Name:  123 kB" value of a /proc file of APid, in megabytes.
double ProcMegabytes(pid_t APid, const std::string& AFile, const std::string& AName) {
  std::ifstream status("/proc/" + std::to_string(APid) + "/" + AFile);
  for (std::string line; std::getline(status, line);)
    if (line.rfind(AName + ":", 0) == 0)
      return std::stod(line.substr(AName.size() + 1)) / 1024;
  return 0;
}

TCost Measure(TClientProcess& AProcess, int ASeconds, const char* AName) {
  std::this_thread::sleep_for(std::chrono::seconds(ASeconds));
  // Read from the program itself: "ip netns exec" became it, and the kernel's
  // rusage would also count what ip held before. Most of the resident memory
  // is shared libraries; the private part is what the program itself costs.
  const pid_t pid = AProcess.Pid();
  const double peak = ProcMegabytes(pid, "status", "VmHWM");
  const double privateMb = ProcMegabytes(pid, "smaps_rollup", "Private_Clean") +
                           ProcMegabytes(pid, "smaps_rollup", "Private_Dirty");
  const double proportional = ProcMegabytes(pid, "smaps_rollup", "Pss");
  if (AProcess.Stop(SIGTERM, std::chrono::seconds(20)) < 0) {
    std::fprintf(stderr, "%s did not stop\n", AName);
    std::exit(1);
  }
  const rusage& usage = AProcess.Usage();
  return {static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
          peak, privateMb, proportional};
}

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

}  // namespace

int main(int argc, char** argv) {
  const std::string reason = TNetLab::SkipReason();
  if (!reason.empty()) {
    std::fprintf(stderr, "skipped: %s\n", reason.c_str());
    return 0;
  }
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  TTempDir dir;
  TNetLab lab;
  const TRdpConnection connection(lab);

  const std::string logs = dir / "Logs";
  TClientProcess runner(lab, {ORVELLA_MONITOR_CONSOLE, std::string(TNetLab::ServerName) + ":3389", "--logs", logs},
                        dir / "runner.txt");
  const TCost ours = Measure(runner, seconds, "the runner");
  const size_t ourCycles = CountLines(logs, "_gateway.log");

  const std::string csv = dir / "csv";
  const std::string config = dir / "collectd.conf";
  std::ofstream(config) << "Hostname \"orvella-bench\"\nFQDNLookup false\nInterval 1\n"
                        << "BaseDir \"" << dir.Path() << "\"\nPIDFile \"" << dir / "collectd.pid" << "\"\n"
                        << "PluginDir \"/usr/lib/collectd\"\nTypesDB \"/usr/share/collectd/types.db\"\n"
                        << "LoadPlugin ping\nLoadPlugin cpu\nLoadPlugin memory\nLoadPlugin disk\nLoadPlugin csv\n"
                        << "<Plugin ping>\n  Host \"" << TNetLab::GatewayIp << "\"\n  Host \"" << TNetLab::DnsIp
                        << "\"\n  Host \"" << lab.ServerIp() << "\"\n  Interval 1\n  Timeout 0.9\n</Plugin>\n"
                        << "<Plugin csv>\n  DataDir \"" << csv << "\"\n  StoreRates false\n</Plugin>\n";
  TClientProcess collectd(lab, {"collectd", "-f", "-C", config}, dir / "collectd.txt");
  const TCost theirs = Measure(collectd, seconds, "collectd");
  const size_t theirRows = CountLines(csv, "ping-" + std::string(TNetLab::GatewayIp));

  std::printf("%d s connected in the simulated network\n", seconds);
  const auto print = [](const char* AName, const TCost& ACost, size_t ASamples) {
    std::printf("%-9s %.2f CPU s, peak resident %.1f MB, private %.2f MB, proportional %.2f MB, %zu gateway samples\n",
                AName, ACost.CpuSeconds, ACost.PeakMb, ACost.PrivateMb, ACost.ProportionalMb, ASamples);
  };
  print("ours:", ours, ourCycles);
  print("collectd:", theirs, theirRows);
  std::printf("CPU ratio ours/collectd: %.2f\n", ours.CpuSeconds / theirs.CpuSeconds);
  std::printf("peak resident ratio ours/collectd: %.2f\n", ours.PeakMb / theirs.PeakMb);
  std::printf("private memory ratio ours/collectd: %.2f\n", ours.PrivateMb / theirs.PrivateMb);
  return 0;
}
