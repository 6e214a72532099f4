#pragma once
// The block devices under a file system, as the kernel's I/O statistics name
// them: a partition (sda2, nvme0n1p2, vda1), a device-mapper or RAID device
// with statistics of its own (dm-0, md0), or every device of a btrfs, whose
// mounts carry an anonymous device number that no block device has.
#include <string>
#include <vector>

namespace orvella::platform {

struct TBlockDevice {
  std::string Name;  // as /proc/diskstats names it
  std::string Disk;  // the whole disk whose queue settings it follows; empty when unknown
  bool operator==(const TBlockDevice&) const = default;
};

class TVolumeDevices {
public:
  // ASysRoot and AProcRoot: where sysfs and procfs are mounted.
  explicit TVolumeDevices(std::string ASysRoot = "/sys", std::string AProcRoot = "/proc");

  // The devices that hold APath's file system, sorted by name; none for a file
  // system without any (overlay, network, memory). EOSError when APath cannot
  // be examined.
  std::vector<TBlockDevice> Of(const std::string& APath) const;

  // The device called AName with its whole disk (empty when sysfs does not know it).
  TBlockDevice Named(const std::string& AName) const;

  // The mount point of the file system that holds APath, from the mount table.
  std::string MountPoint(const std::string& APath) const;

private:
  TBlockDevice FromSysfsFolder(const std::string& AFolder) const;
  std::vector<TBlockDevice> BtrfsDevices(const std::string& APath) const;

  const std::string FSysRoot;
  const std::string FProcRoot;
};

}  // namespace orvella::platform
