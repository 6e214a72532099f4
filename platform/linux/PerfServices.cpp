#include "platform/linux/PerfServices.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <set>

#include "platform/Exceptions.h"
#include "platform/SystemDir.h"
#include "platform/SystemError.h"
#include "platform/linux/AboveStandardStreams.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/PerfCounters.h"
#include "platform/linux/VolumeDevices.h"

namespace orvella::platform {

TServicesKey::~TServicesKey() {
  if (FHandle != 0)
    close(static_cast<int>(FHandle));
}

std::string ServicesKeyPath() { return "/sys/block"; }

TServicesKey OpenServicesKey(const std::string& APath) {
  // Kept above the standard streams: a handle is never 0.
  TFd key = KeptAboveStandardStreams(open(APath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return TServicesKey(static_cast<TOsHandle>(key.Release()));
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

// The counterpart of OpenProcess and DuplicateHandle: a process descriptor,
// then a copy of the other process's descriptor (the caller needs the right
// to trace it, which root has). Called directly: Debian 12's C library
// declares the wrappers without C linkage.
TServicesKey CopyServicesKey(uint32_t AProcessId, TOsHandle AHandle) {
  if (AProcessId == 0 || AProcessId > INT32_MAX || AHandle > INT32_MAX)
    RaiseOSError(EINVAL);
  TFd process(static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(AProcessId), 0)));
  if (process.Get() < 0)
    RaiseLastOSError();
  TFd key = KeptAboveStandardStreams(
      static_cast<int>(syscall(SYS_pidfd_getfd, process.Get(), static_cast<int>(AHandle), 0)));
  return TServicesKey(static_cast<TOsHandle>(key.Release()));
}

TLinuxPerfServices::TLinuxPerfServices(std::string ASystemDir, std::string ASysRoot, std::string AProcRoot)
    : FSystemDir(std::move(ASystemDir)), FSysRoot(std::move(ASysRoot)), FProcRoot(std::move(AProcRoot)) {}

// Nothing rebuilds the counters here: they are the kernel's own files.
std::vector<TRepairCommand> TLinuxPerfServices::PrepareRepairCommands() { return {}; }

bool TLinuxPerfServices::EnableServiceCounters(const TServicesKey& AKey, const std::string& AServiceName) {
  if (AServiceName == "PerfOS") {
    CheckProcessorAndMemory();
    return false;
  }
  if (AServiceName == "PerfDisk")
    return EnableDiskStatistics(AKey);
  RaiseOSError(ENOENT);
}

void TLinuxPerfServices::CheckProcessorAndMemory() const {
  TLinuxPerfCounters counters(FProcRoot);
  for (const char* path : {"\\Processor(_Total)\\% Processor Time", "\\Memory\\Available bytes"}) {
    TOsHandle query = 0, counter = 0;
    counters.OpenQuery(query);
    const TPdhStatus status = counters.AddEnglishCounter(query, path, counter);
    counters.CloseQuery(query);
    if (status != 0)
      throw EOSError(static_cast<int>(status), PdhStatusText(status));
  }
}

// Every disk under the system directory: "1" when its statistics are on, "0"
// when switched off. A disk without the switch keeps statistics always.
bool TLinuxPerfServices::EnableDiskStatistics(const TServicesKey& AKey) const {
  std::set<std::string> disks;
  for (const TBlockDevice& device : TVolumeDevices(FSysRoot, FProcRoot).Of(FSystemDir))
    if (!device.Disk.empty())
      disks.insert(device.Disk);
  bool enabled = false;
  for (const std::string& disk : disks) {
    TFd queue(openat(static_cast<int>(AKey.Handle()), (disk + "/queue").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (queue.Get() < 0)
      RaiseLastOSError();
    TFd iostats(openat(queue.Get(), "iostats", O_RDWR | O_CLOEXEC));
    if (iostats.Get() < 0) {
      if (errno == ENOENT)
        continue;
      RaiseLastOSError();
    }
    char text[32] = {};
    const ssize_t length = read(iostats.Get(), text, sizeof text - 1);
    if (length < 0)
      RaiseLastOSError();
    // Only a number 0 means switched off; anything else is left alone.
    const std::string value(text, static_cast<size_t>(length));
    if (value != "0" && value != "0\n")
      continue;
    if (pwrite(iostats.Get(), "1", 1, 0) != 1)
      RaiseLastOSError();
    enabled = true;
  }
  return enabled;
}

IPerfServices& SystemPerfServices() {
  static TLinuxPerfServices services(SystemDirectory(false));
  return services;
}

}  // namespace orvella::platform
