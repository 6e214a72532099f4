#include "platform/SystemDir.h"

#include "platform/linux/VolumeDevices.h"

namespace orvella::platform {

// The system's own programs, as System32 holds Windows' own. There is no
// second folder of 32-bit system files.
std::string SystemDirectory(bool AWow64) { return AWow64 ? std::string() : std::string("/usr/bin"); }

// The block devices under APath's file system joined by "+" (sda2, dm-0,
// sdb+sdc for a btrfs on two disks); a file system without any block device
// (overlay, network, memory) is named by its mount point, which always starts
// with "/" and so never reads as a device.
std::string VolumeOfPath(const std::string& APath) {
  const TVolumeDevices volumes;
  std::string names;
  for (const TBlockDevice& device : volumes.Of(APath))
    names += (names.empty() ? "" : "+") + device.Name;
  return names.empty() ? volumes.MountPoint(APath) : names;
}

}  // namespace orvella::platform
