#include "platform/linux/PerfCounters.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/Exceptions.h"
#include "platform/linux/VolumeDevices.h"

namespace orvella::platform {

namespace {

std::string Lower(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(), [](unsigned char c) { return std::tolower(c); });
  return AText;
}

// "\Object(Instance)\Counter" or "\Object\Counter".
bool SplitPath(const std::string& APath, std::string& AObject, std::string& AInstance, bool& AHasInstance,
               std::string& ACounter) {
  if (APath.size() < 4 || APath[0] != '\\')
    return false;
  const size_t counterStart = APath.rfind('\\');
  if (counterStart == 0 || counterStart + 1 >= APath.size())
    return false;
  ACounter = APath.substr(counterStart + 1);
  std::string object = APath.substr(1, counterStart - 1);
  AHasInstance = false;
  const size_t open = object.find('(');
  if (open != std::string::npos) {
    if (object.back() != ')' || open == 0)
      return false;
    AInstance = object.substr(open + 1, object.size() - open - 2);
    object.resize(open);
    AHasInstance = true;
  }
  AObject = object;
  return !AObject.empty();
}

}  // namespace

TLinuxPerfCounters::TLinuxPerfCounters(std::string AProcRoot, const ITickSource& ATicks, std::string ASysRoot)
    : FProcRoot(std::move(AProcRoot)), FTicks(ATicks), FSysRoot(std::move(ASysRoot)), FStat(FProcRoot + "/stat"),
      FMemInfo(FProcRoot + "/meminfo"), FDiskStats(FProcRoot + "/diskstats") {}

TPdhStatus TLinuxPerfCounters::OpenQuery(TOsHandle& AQuery) {
  std::lock_guard lock(FLock);
  AQuery = FNextHandle++;
  FQueries[AQuery] = true;
  return 0;
}

TPdhStatus TLinuxPerfCounters::AddEnglishCounter(TOsHandle AQuery, const std::string& APath, TOsHandle& ACounter) {
  ACounter = 0;
  std::string object, instance, counterName;
  bool hasInstance = false;
  if (!SplitPath(APath, object, instance, hasInstance, counterName))
    return PdhCStatusBadCounterName;
  object = Lower(object);
  counterName = Lower(counterName);
  TCounter counter{AQuery, TKind::AvailableBytes, {}, 0, {}, {}};
  if (object == "processor") {
    if (counterName != "% processor time")
      return PdhCStatusNoCounter;
    if (!hasInstance || Lower(instance) != "_total")
      return PdhCStatusNoInstance;
    counter.Kind = TKind::ProcessorTime;
  } else if (object == "memory") {
    if (counterName != "available bytes")
      return PdhCStatusNoCounter;
    if (hasInstance)
      return PdhCStatusNoInstance;
  } else if (object == "logicaldisk") {
    if (counterName != "avg. disk queue length")
      return PdhCStatusNoCounter;
    if (!hasInstance)
      return PdhCStatusNoInstance;
    counter.Kind = TKind::DiskQueueLength;
    if (const TPdhStatus status = FindDisks(instance, counter.Devices))
      return status;
  } else {
    return PdhCStatusNoObject;
  }
  // A source that cannot be read now would never give a value.
  TRaw probe;
  if (!Read(counter, probe))
    return counter.Kind == TKind::DiskQueueLength ? PdhCStatusNoInstance : PdhCStatusNoObject;

  std::lock_guard lock(FLock);
  if (!FQueries.contains(AQuery))
    return PdhInvalidHandle;
  ACounter = FNextHandle++;
  FCounters.emplace(ACounter, counter);
  return 0;
}

TPdhStatus TLinuxPerfCounters::CollectQueryData(TOsHandle AQuery) {
  std::lock_guard lock(FLock);
  if (!FQueries.contains(AQuery))
    return PdhInvalidHandle;
  TPdhStatus status = 0;
  for (auto& [handle, counter] : FCounters) {
    if (counter.Query != AQuery)
      continue;
    TRaw raw;
    if (!Read(counter, raw)) {
      status = PdhNoData;
      continue;
    }
    counter.Previous = counter.Current;
    counter.Current = raw;
    ++counter.Samples;
  }
  return status;
}

TPdhStatus TLinuxPerfCounters::GetFormattedCounterValue(TOsHandle ACounter, TPdhFmtCounterValue& AValue) {
  std::lock_guard lock(FLock);
  const auto found = FCounters.find(ACounter);
  if (found == FCounters.end())
    return PdhInvalidHandle;
  const TCounter& counter = found->second;
  // A volume without block devices has no queue to measure.
  if (counter.Kind == TKind::DiskQueueLength && counter.Devices.empty()) {
    AValue.CStatus = PdhCalcNegativeDenominator;
    return PdhCalcNegativeDenominator;
  }
  const bool rate = counter.Kind != TKind::AvailableBytes;
  if (counter.Samples < (rate ? 2 : 1)) {
    AValue.CStatus = PdhCStatusInvalidData;
    return PdhInvalidData;
  }
  if (!rate) {
    AValue.CStatus = PdhCStatusValidData;
    AValue.DoubleValue = counter.Current.Value;
    return 0;
  }
  const double base = counter.Current.Base - counter.Previous.Base;
  const double value = counter.Current.Value - counter.Previous.Value;
  if (base <= 0 || value < 0) {
    AValue.CStatus = PdhCalcNegativeDenominator;
    return PdhCalcNegativeDenominator;
  }
  AValue.CStatus = PdhCStatusValidData;
  AValue.DoubleValue = counter.Kind == TKind::ProcessorTime ? std::min(100.0, value / base * 100) : value / base;
  return 0;
}

void TLinuxPerfCounters::CloseQuery(TOsHandle AQuery) {
  std::lock_guard lock(FLock);
  FQueries.erase(AQuery);
  std::erase_if(FCounters, [AQuery](const auto& AEntry) { return AEntry.second.Query == AQuery; });
}

bool TLinuxPerfCounters::TotalPhysicalMemory(uint64_t& ABytes, int& ALastError) {
  if (ReadMemInfo("MemTotal:", ABytes))
    return true;
  ALastError = ENOENT;
  return false;
}

bool TLinuxPerfCounters::ReadMemInfo(const char* AField, uint64_t& ABytes) const {
  std::string text;
  if (!FMemInfo.Read(text))
    return false;
  std::istringstream file(text);
  std::string name;
  uint64_t kibibytes = 0;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    if (fields >> name >> kibibytes && name == AField) {
      ABytes = kibibytes * 1024;
      return true;
    }
  }
  return false;
}

bool TLinuxPerfCounters::Read(const TCounter& ACounter, TRaw& ARaw) const {
  switch (ACounter.Kind) {
  case TKind::ProcessorTime: {
    // user nice system idle iowait irq softirq steal; guest time is already
    // part of user and nice. Waiting for I/O is idle time, as on Windows.
    std::string text;
    if (!FStat.Read(text))
      return false;
    std::istringstream file(text);
    std::string name;
    double user, nice, system, idle, iowait, irq, softirq, steal;
    if (!(file >> name >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal) || name != "cpu")
      return false;
    const double total = user + nice + system + idle + iowait + irq + softirq + steal;
    ARaw.Value = total - idle - iowait;
    ARaw.Base = total;
    return true;
  }
  case TKind::AvailableBytes: {
    uint64_t bytes = 0;
    if (!ReadMemInfo("MemAvailable:", bytes))
      return false;
    ARaw.Value = static_cast<double>(bytes);
    return true;
  }
  case TKind::DiskQueueLength: {
    std::string text;
    if (!FDiskStats.Read(text))
      return false;
    std::istringstream file(text);
    std::string line;
    double weighted = 0;
    size_t found = 0;
    while (std::getline(file, line)) {
      std::istringstream fields(line);
      unsigned major = 0, minor = 0;
      std::string device;
      if (!(fields >> major >> minor >> device) ||
          std::find(ACounter.Devices.begin(), ACounter.Devices.end(), device) == ACounter.Devices.end())
        continue;
      // After the name: reads, merged, sectors, ms; writes, merged, sectors,
      // ms; in flight; ms doing I/O; weighted ms doing I/O.
      double value = 0;
      for (int i = 0; i < 11; ++i)
        if (!(fields >> value))
          return false;
      weighted += value;
      ++found;
    }
    if (found != ACounter.Devices.size())
      return false;
    ARaw.Value = weighted;
    ARaw.Base = static_cast<double>(FTicks.Milliseconds());
    return true;
  }
  }
  return false;
}

TPdhStatus TLinuxPerfCounters::FindDisks(const std::string& AVolume, std::vector<std::string>& ADevices) const {
  const TVolumeDevices volumes(FSysRoot, FProcRoot);
  std::vector<TBlockDevice> devices;
  if (AVolume.starts_with('/')) {
    try {
      devices = volumes.Of(AVolume);
    } catch (const EOSError&) {
      return PdhCStatusNoInstance;
    }
  } else {
    std::istringstream names(AVolume);
    for (std::string name; std::getline(names, name, '+');)
      devices.push_back(volumes.Named(name));
    if (devices.empty())
      return PdhCStatusNoInstance;
  }
  for (const TBlockDevice& device : devices) {
    // Switched-off statistics read 0 forever: the counter is disabled.
    std::ifstream iostats(FSysRoot + "/block/" + device.Disk + "/queue/iostats");
    int enabled = 1;
    if (!device.Disk.empty() && iostats >> enabled && enabled == 0)
      return PdhCStatusNoObject;
    ADevices.push_back(device.Name);
  }
  return 0;
}

IPerfCounters& SystemPerfCounters() {
  static TLinuxPerfCounters counters;
  return counters;
}

std::string PdhStatusText(TPdhStatus AStatus) {
  switch (AStatus) {
  case PdhCStatusNoInstance:
    return "The specified instance is not present.";
  case PdhNoData:
    return "No data to return.";
  case PdhCalcNegativeDenominator:
    return "A counter with a negative denominator value was detected.";
  case PdhCStatusNoObject:
    return "The specified object was not found on the computer.";
  case PdhCStatusNoCounter:
    return "The specified counter could not be found.";
  case PdhCStatusInvalidData:
    return "The returned data is not valid.";
  case PdhInvalidHandle:
    return "The handle is not a valid PDH object.";
  case PdhInvalidArgument:
    return "A required argument is missing or incorrect.";
  case PdhCStatusBadCounterName:
    return "Unable to parse the counter path. Check the format and syntax of the specified path.";
  case PdhInvalidData:
    return "The data is not valid.";
  default: {
    char text[64];
    std::snprintf(text, sizeof text, "Unknown counter status 0x%08X.", AStatus);
    return text;
  }
  }
}

}  // namespace orvella::platform
