#pragma once
// What a running process has cost so far, read from the kernel the same way
// for every process a benchmark compares, and the collectd set-up that does the
// engine's work (same targets, same payload, same counters).
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvella::bench {

struct TProcessSample {
  // Time on a processor of all its threads, living or ended (the scheduler's
  // run time from the kernel's task statistics), and of the children it has
  // waited for.
  double CpuSeconds = 0;
  // Voluntary and involuntary context switches of all its threads, living or
  // ended: each time a thread went to sleep or was put aside, so about its
  // wake-ups.
  uint64_t Switches = 0;
  // Peak resident set (VmHWM), in megabytes.
  double PeakMb = 0;
  // The pages it has written itself and no one else maps (Private_Dirty and
  // Swap of smaps_rollup), in megabytes. Private_Clean is left out: the
  // libraries' code counts as private while no other process maps them, so
  // it depends on what else runs on the machine.
  double PrivateMb = 0;
};

TProcessSample SampleProcess(pid_t APid);

// The cost between two samples of one process, over ASeconds.
struct TPhaseCost {
  double CpuSeconds = 0;
  double WakeupsPerSecond = 0;
  double PeakMb = 0;
  double PrivateMb = 0;
};

TPhaseCost CostBetween(const TProcessSample& ABefore, const TProcessSample& AAfter, double ASeconds);

// A collectd configuration that pings the given hosts once a second with
// the engine's payload and reads processor, memory and the disk the engine
// watches, written as CSV into AFolder/csv.
std::string CollectdConfig(const std::string& AFolder, const std::vector<std::string>& AHosts);

// "a/b" with two decimals, or "-" when b is zero.
std::string Ratio(double AOurs, double ATheirs);

}  // namespace orvella::bench
