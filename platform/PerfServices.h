#pragma once
// The switches with which the system turns the counters of its performance
// services on and off, and the tools that rebuild the counters' registration.
// Windows: the services key HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\services
// with "Disable Performance Counters" under each service, lodctr and winmgmt.
// Linux: the folder of the block devices (/sys/block) with the per-disk
// statistics switch queue/iostats; the processor and memory sources of procfs
// have no switch and are only checked.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/OsHandle.h"

namespace orvella::platform {

// An open services key, closed with the object.
class TServicesKey {
public:
  explicit TServicesKey(TOsHandle AHandle = 0) : FHandle(AHandle) {}
  ~TServicesKey();
  TServicesKey(TServicesKey&& AOther) noexcept : FHandle(AOther.FHandle) { AOther.FHandle = 0; }
  TServicesKey& operator=(TServicesKey&&) = delete;
  TServicesKey(const TServicesKey&) = delete;
  TServicesKey& operator=(const TServicesKey&) = delete;

  TOsHandle Handle() const { return FHandle; }

private:
  TOsHandle FHandle;
};

// Where this system keeps the services key.
std::string ServicesKeyPath();

// Opens the services key at APath for reading. EOSError on failure.
TServicesKey OpenServicesKey(const std::string& APath = ServicesKeyPath());

// This process's identifier.
uint32_t CurrentProcessId();

// This process's own copy of the key AHandle that process AProcessId holds
// open. EOSError when the process is gone or the handle cannot be copied.
TServicesKey CopyServicesKey(uint32_t AProcessId, TOsHandle AHandle);

struct TRepairCommand {
  std::string Exe;
  std::string Params;
};

class IPerfServices {
public:
  virtual ~IPerfServices() = default;

  // Makes the calling thread see the system's own tools and lists the commands
  // that rebuild the counters' registration, in the order they run. EOSError
  // on failure.
  virtual std::vector<TRepairCommand> PrepareRepairCommands() = 0;

  // Switches the counters of AServiceName on below AKey: true when they were
  // off and are on now, false when they were on already. EOSError on failure.
  virtual bool EnableServiceCounters(const TServicesKey& AKey, const std::string& AServiceName) = 0;
};

// The performance services of this system; lives as long as the process.
IPerfServices& SystemPerfServices();

}  // namespace orvella::platform
