#include "bench/ProcessCost.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/Pinger.h"
#include "platform/SystemDir.h"

namespace orvella::bench {

namespace {

// A "Name:  123 kB" value of a /proc file, in megabytes.
double ProcMegabytes(const std::string& AFile, const std::string& AName) {
  std::ifstream file(AFile);
  for (std::string line; std::getline(file, line);)
    if (line.rfind(AName + ":", 0) == 0)
      return std::stod(line.substr(AName.size() + 1)) / 1024;
  return 0;
}

uint64_t ProcCount(const std::string& AFile, const std::string& AName) {
  std::ifstream file(AFile);
  for (std::string line; std::getline(file, line);)
    if (line.rfind(AName + ":", 0) == 0)
      return std::stoull(line.substr(AName.size() + 1));
  return 0;
}

// utime, stime, cutime and cstime of /proc/PID/stat, in seconds.
double CpuSeconds(const std::string& AProc) {
  std::ifstream file(AProc + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The command name may hold blanks; the fields after it are plain.
  const size_t close = text.rfind(')');
  if (close == std::string::npos)
    return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  // Field 3 is the state; utime is field 14.
  for (int index = 3; index <= 17 && fields >> field; ++index)
    if (index >= 14)
      ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

TProcessSample SampleProcess(pid_t APid) {
  const std::string proc = "/proc/" + std::to_string(APid);
  TProcessSample sample;
  sample.CpuSeconds = CpuSeconds(proc);
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(proc + "/task", error)) {
    const std::string status = task.path().string() + "/status";
    sample.Switches += ProcCount(status, "voluntary_ctxt_switches") + ProcCount(status, "nonvoluntary_ctxt_switches");
  }
  sample.PeakMb = ProcMegabytes(proc + "/status", "VmHWM");
  sample.PrivateMb = ProcMegabytes(proc + "/smaps_rollup", "Private_Clean") +
                     ProcMegabytes(proc + "/smaps_rollup", "Private_Dirty");
  return sample;
}

TPhaseCost CostBetween(const TProcessSample& ABefore, const TProcessSample& AAfter, double ASeconds) {
  const double switches = AAfter.Switches > ABefore.Switches ? static_cast<double>(AAfter.Switches - ABefore.Switches) : 0;
  return {AAfter.CpuSeconds - ABefore.CpuSeconds, switches / ASeconds, AAfter.PeakMb, AAfter.PrivateMb};
}

std::string CollectdConfig(const std::string& AFolder, const std::vector<std::string>& AHosts) {
  std::ostringstream config;
  config << "Hostname \"orvella-bench\"\nFQDNLookup false\nInterval 1\n"
         << "BaseDir \"" << AFolder << "\"\nPIDFile \"" << AFolder << "/collectd.pid\"\n"
         << "PluginDir \"/usr/lib/collectd\"\nTypesDB \"/usr/share/collectd/types.db\"\n"
         << "LoadPlugin ping\nLoadPlugin cpu\nLoadPlugin memory\nLoadPlugin disk\nLoadPlugin csv\n"
         << "<Plugin ping>\n";
  for (const std::string& host : AHosts)
    config << "  Host \"" << host << "\"\n";
  config << "  Interval 1\n  Timeout 0.9\n  Size " << TPinger::RequestDataSize << "\n</Plugin>\n"
         // The engine reads the whole processor's busy share, not each core's.
         << "<Plugin cpu>\n  ReportByCpu false\n  ValuesPercentage true\n</Plugin>\n"
         << "<Plugin disk>\n  Disk \"" << platform::VolumeOfPath(platform::SystemDirectory(false))
         << "\"\n  IgnoreSelected false\n</Plugin>\n"
         << "<Plugin csv>\n  DataDir \"" << AFolder << "/csv\"\n  StoreRates false\n</Plugin>\n";
  return config.str();
}

std::string Ratio(double AOurs, double ATheirs) {
  if (ATheirs == 0)
    return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", AOurs / ATheirs);
  return text;
}

}  // namespace orvella::bench
