#pragma once
// The performance services of Linux. "PerfOS" stands for the processor and
// memory sources of procfs, which cannot be switched off and are only checked;
// "PerfDisk" for the I/O statistics of the disks under the system directory,
// which an administrator switches off with queue/iostats = 0. The services
// key is the folder of the block devices (/sys/block), and no command helps.
#include "platform/PerfServices.h"

namespace orvella::platform {

class TLinuxPerfServices : public IPerfServices {
public:
  // ASystemDir: the folder whose disks are meant; ASysRoot and AProcRoot:
  // where sysfs and procfs are mounted.
  explicit TLinuxPerfServices(std::string ASystemDir, std::string ASysRoot = "/sys", std::string AProcRoot = "/proc");

  std::vector<TRepairCommand> PrepareRepairCommands() override;
  bool EnableServiceCounters(const TServicesKey& AKey, const std::string& AServiceName) override;

private:
  void CheckProcessorAndMemory() const;
  bool EnableDiskStatistics(const TServicesKey& AKey) const;

  const std::string FSystemDir;
  const std::string FSysRoot;
  const std::string FProcRoot;
};

}  // namespace orvella::platform
