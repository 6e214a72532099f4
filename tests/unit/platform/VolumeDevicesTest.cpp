// The devices under a folder, found in a folder standing in for sysfs whose
// device link for the test folder's file system the test points anywhere.
#include "platform/linux/VolumeDevices.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

#include "platform/Exceptions.h"
#include "tests/support/TempDir.h"

namespace orvella::platform {

void PrintTo(const TBlockDevice& ADevice, std::ostream* AOut) { *AOut << ADevice.Name << " on " << ADevice.Disk; }

namespace {

namespace fs = std::filesystem;

class VolumeDevicesTest : public ::testing::Test {
protected:
  VolumeDevicesTest() {
    fs::create_directories(Root / "sys/dev/block");
    fs::create_directories(Root / "sys/class/block");
    fs::create_directories(Root / "proc/self");
    struct stat info = {};
    stat(Root.Path().c_str(), &info);
    DeviceLink =
        Root / ("sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev)));
  }

  // A device folder as sysfs lays it out; a partition lies in its disk's folder.
  void AddDevice(const std::string& AFolder, bool APartition) {
    fs::create_directories(Root / ("sys/devices/" + AFolder));
    if (APartition)
      std::ofstream(Root / ("sys/devices/" + AFolder + "/partition")) << "2\n";
    const std::string name = fs::path(AFolder).filename();
    fs::create_directory_symlink("../../devices/" + AFolder, Root / ("sys/class/block/" + name));
  }
  std::vector<TBlockDevice> HoldingTheTestFolder(const std::string& AFolder) {
    fs::remove(DeviceLink);
    fs::create_directory_symlink("../../devices/" + AFolder, DeviceLink);
    return Volumes.Of(Root.Path());
  }

  testing::TTempDir Root;
  std::string DeviceLink;
  TVolumeDevices Volumes{Root / "sys", Root / "proc"};
};

TEST_F(VolumeDevicesTest, PartitionsFollowTheirDiskAndMappedOrRaidDevicesThemselves) {
  AddDevice("pci0000:00/ata1/block/sda", false);
  AddDevice("pci0000:00/ata1/block/sda/sda2", true);
  AddDevice("pci0000:00/nvme/nvme0/nvme0n1", false);
  AddDevice("pci0000:00/nvme/nvme0/nvme0n1/nvme0n1p2", true);
  AddDevice("pci0000:00/virtio1/block/vda", false);
  AddDevice("virtual/block/dm-0", false);
  AddDevice("virtual/block/md0", false);
  AddDevice("pci0000:00/cciss/block/cciss!c0d0", false);

  EXPECT_EQ(HoldingTheTestFolder("pci0000:00/ata1/block/sda/sda2"), (std::vector<TBlockDevice>{{"sda2", "sda"}}));
  EXPECT_EQ(HoldingTheTestFolder("pci0000:00/nvme/nvme0/nvme0n1/nvme0n1p2"),
            (std::vector<TBlockDevice>{{"nvme0n1p2", "nvme0n1"}}));
  EXPECT_EQ(HoldingTheTestFolder("pci0000:00/virtio1/block/vda"), (std::vector<TBlockDevice>{{"vda", "vda"}}));
  EXPECT_EQ(HoldingTheTestFolder("virtual/block/dm-0"), (std::vector<TBlockDevice>{{"dm-0", "dm-0"}}));
  EXPECT_EQ(HoldingTheTestFolder("virtual/block/md0"), (std::vector<TBlockDevice>{{"md0", "md0"}}));
  EXPECT_EQ(HoldingTheTestFolder("pci0000:00/cciss/block/cciss!c0d0"),
            (std::vector<TBlockDevice>{{"cciss/c0d0", "cciss!c0d0"}}));

  EXPECT_EQ(Volumes.Named("nvme0n1p2"), (TBlockDevice{"nvme0n1p2", "nvme0n1"}));
  EXPECT_EQ(Volumes.Named("cciss/c0d0"), (TBlockDevice{"cciss/c0d0", "cciss!c0d0"}));
  EXPECT_EQ(Volumes.Named("sdz9"), (TBlockDevice{"sdz9", ""}));
}

TEST_F(VolumeDevicesTest, AFileSystemWithoutDeviceHasNoneAndIsNamedByItsMountPoint) {
  EXPECT_TRUE(Volumes.Of(Root.Path()).empty());
  EXPECT_THROW(Volumes.Of(Root / "missing"), EOSError);
  std::ofstream(Root / "proc/self/mountinfo")
      << "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      << "40 26 0:45 / " << Root.Path() << "/with\\040blank rw - tmpfs tmpfs rw\n";
  fs::create_directories(Root / "with blank/usr/bin");
  EXPECT_EQ(Volumes.MountPoint(Root / "with blank/usr/bin"), Root / "with blank");
  EXPECT_EQ(Volumes.MountPoint(Root / "with"), "/");
}

}  // namespace
}  // namespace orvella::platform
