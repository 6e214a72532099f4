#include "platform/SystemDir.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "platform/SystemError.h"

namespace orvella::platform {

// The system's own programs, as System32 holds Windows' own. There is no
// second folder of 32-bit system files.
std::string SystemDirectory(bool AWow64) { return AWow64 ? std::string() : std::string("/usr/bin"); }

namespace {

// DEVNAME of the block device with this number, empty when it is none.
std::string BlockDeviceName(dev_t ADevice) {
  std::ifstream uevent("/sys/dev/block/" + std::to_string(major(ADevice)) + ":" + std::to_string(minor(ADevice)) +
                       "/uevent");
  std::string line;
  while (std::getline(uevent, line))
    if (line.rfind("DEVNAME=", 0) == 0)
      return line.substr(8);
  return {};
}

// The source of the mount that holds APath, without a leading "/dev/".
std::string MountSource(const std::string& APath) {
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line, best, bestSource;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point, field;
    fields >> id >> parent >> numbers >> root >> point;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    fields >> type >> source;
    const bool holds = APath == point || point == "/" ||
                       (APath.rfind(point, 0) == 0 && APath.size() > point.size() && APath[point.size()] == '/');
    if (holds && point.size() >= best.size()) {
      best = point;
      bestSource = source;
    }
  }
  if (bestSource.rfind("/dev/", 0) == 0)
    bestSource.erase(0, 5);
  return bestSource;
}

}  // namespace

// The block device (the partition, where it is one) that holds APath, named
// as /proc/diskstats names it; a file system without one gives its mount source.
std::string VolumeOfPath(const std::string& APath) {
  struct stat info{};
  if (stat(APath.c_str(), &info) != 0)
    RaiseLastOSError(APath);
  std::string name = BlockDeviceName(info.st_dev);
  if (name.empty())
    name = MountSource(APath);
  return name;
}

}  // namespace orvella::platform
