// The disk counter on the storage layouts that hold a system directory, made
// from loop devices: a partition, a btrfs on two devices, LVM, dm-crypt and
// md RAID, and a memory file system without any device. Needs root; a layout
// whose kernel driver is missing is skipped with the reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/CounterLog.h"
#include "platform/SystemDir.h"
#include "platform/linux/PerfCounters.h"
#include "platform/linux/VolumeDevices.h"
#include "tests/support/ChildRun.h"
#include "tests/support/LogReader.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

namespace fs = std::filesystem;
using platform::TBlockDevice;

// The commands are shell lines: some join two steps with "&&".
std::string Output(const std::string& ACommand) {
  std::string text = testing::CommandOutput({"sh", "-c", ACommand + " 2>/dev/null"});
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text;
}

bool Quiet(const std::string& ACommand) { return testing::CommandSucceeds({"sh", "-c", ACommand}); }

std::string SysfsName(const std::string& ADevicePath) { return fs::canonical(ADevicePath).filename(); }

// A loop device over a sparse file, detached again with the object.
class TLoopDevice {
public:
  TLoopDevice(const std::string& AFile, uint64_t ASize, bool AWithPartition = false) {
    {
      std::ofstream file(AFile, std::ios::binary);
      if (AWithPartition) {
        // One Linux partition from sector 2048 to the end, in a DOS partition table.
        unsigned char mbr[512] = {};
        const uint32_t start = 2048, sectors = static_cast<uint32_t>(ASize / 512) - start;
        mbr[446 + 4] = 0x83;
        for (int i = 0; i < 4; ++i) {
          mbr[446 + 8 + i] = static_cast<unsigned char>(start >> (8 * i));
          mbr[446 + 12 + i] = static_cast<unsigned char>(sectors >> (8 * i));
        }
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        file.write(reinterpret_cast<const char*>(mbr), sizeof mbr);
      }
    }
    fs::resize_file(AFile, ASize);
    FDevice = Output(std::string("losetup --find --show ") + (AWithPartition ? "--partscan " : "") + AFile);
  }
  ~TLoopDevice() {
    if (!FDevice.empty())
      Quiet("losetup --detach " + FDevice);
  }
  TLoopDevice(const TLoopDevice&) = delete;
  TLoopDevice& operator=(const TLoopDevice&) = delete;
  const std::string& Device() const { return FDevice; }

private:
  std::string FDevice;
};

// A mounted file system, unmounted with the object.
class TMount {
public:
  TMount(const std::string& ADevice, const std::string& APoint, const char* AType) : FPoint(APoint) {
    fs::create_directories(APoint);
    FMounted = mount(ADevice.c_str(), APoint.c_str(), AType, 0, nullptr) == 0;
  }
  ~TMount() {
    if (FMounted)
      umount2(FPoint.c_str(), MNT_DETACH);
  }
  TMount(const TMount&) = delete;
  TMount& operator=(const TMount&) = delete;
  bool Mounted() const { return FMounted; }

private:
  std::string FPoint;
  bool FMounted;
};

// Runs a shell command when it goes out of scope: the layout's own teardown.
class TCleanUp {
public:
  explicit TCleanUp(std::string ACommand) : FCommand(std::move(ACommand)) {}
  ~TCleanUp() { Quiet(FCommand); }
  TCleanUp(const TCleanUp&) = delete;
  TCleanUp& operator=(const TCleanUp&) = delete;

private:
  std::string FCommand;
};

class VolumeLayoutsTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (geteuid() != 0)
      GTEST_SKIP() << "loop devices and mounts need root";
  }

  // The system directory on the mount at APoint: its devices as the counter
  // finds them, and a counter on its volume that opens and gives a value.
  std::vector<TBlockDevice> CheckSystemDirOn(const std::string& APoint) {
    const std::string systemDir = APoint + "/usr/bin";
    fs::create_directories(systemDir);
    const std::string volume = platform::VolumeOfPath(systemDir);
    platform::TLinuxPerfCounters counters;
    platform::TOsHandle query = 0, counter = 0;
    EXPECT_EQ(TCounterLog::OpenEnglishCounterQuery(counters, "\\LogicalDisk(" + volume + ")\\Avg. Disk Queue Length",
                                                   query, counter),
              0u)
        << volume;
    platform::TPdhFmtCounterValue value;
    EXPECT_EQ(counters.CollectQueryData(query), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(counters.CollectQueryData(query), 0u);
    EXPECT_EQ(counters.GetFormattedCounterValue(counter, value), 0u) << volume;
    counters.CloseQuery(query);
    return platform::TVolumeDevices().Of(systemDir);
  }

  testing::TTempDir Temp;
};

TEST_F(VolumeLayoutsTest, APartitionFollowsItsDisk) {
  TLoopDevice disk(Temp / "disk.img", 64 << 20, true);
  ASSERT_FALSE(disk.Device().empty());
  const std::string partition = disk.Device() + "p1";
  for (int i = 0; i < 25 && !fs::exists(partition); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!fs::exists(partition))
    GTEST_SKIP() << "the kernel reads no DOS partition table";
  ASSERT_TRUE(Quiet("mkfs.ext4 -q -F " + partition));
  TMount ext4(partition, Temp / "ext4", "ext4");
  ASSERT_TRUE(ext4.Mounted());
  const std::string loop = SysfsName(disk.Device());
  EXPECT_EQ(CheckSystemDirOn(Temp / "ext4"), (std::vector<TBlockDevice>{{loop + "p1", loop}}));
}

TEST_F(VolumeLayoutsTest, ABtrfsOnTwoDevicesHasBoth) {
  TLoopDevice first(Temp / "first.img", 160 << 20), second(Temp / "second.img", 160 << 20);
  ASSERT_TRUE(Quiet("mkfs.btrfs -q -f -d single -m single " + first.Device() + " " + second.Device()));
  Quiet("btrfs device scan " + first.Device() + " " + second.Device());
  TMount btrfs(first.Device(), Temp / "btrfs", "btrfs");
  ASSERT_TRUE(btrfs.Mounted());
  // A subvolume has a device number of its own again.
  ASSERT_TRUE(Quiet("btrfs subvolume create " + (Temp / "btrfs/usr")));
  const std::string a = SysfsName(first.Device()), b = SysfsName(second.Device());
  EXPECT_EQ(CheckSystemDirOn(Temp / "btrfs"),
            (std::vector<TBlockDevice>{{std::min(a, b), std::min(a, b)}, {std::max(a, b), std::max(a, b)}}));
  EXPECT_EQ(platform::VolumeOfPath(Temp / "btrfs/usr"), std::min(a, b) + "+" + std::max(a, b));
}

TEST_F(VolumeLayoutsTest, AMemoryFileSystemHasNoDeviceAndTheCounterStaysEmpty) {
  TMount tmpfs("tmpfs", Temp / "tmpfs", "tmpfs");
  ASSERT_TRUE(tmpfs.Mounted());
  fs::create_directories(Temp / "tmpfs/usr/bin");
  EXPECT_EQ(platform::VolumeOfPath(Temp / "tmpfs/usr/bin"), Temp / "tmpfs");
  EXPECT_TRUE(platform::TVolumeDevices().Of(Temp / "tmpfs/usr/bin").empty());
  EXPECT_TRUE(CounterOpens("\\LogicalDisk(" + (Temp / "tmpfs") + ")\\Avg. Disk Queue Length"));

  // The disk monitor logs empty samples and never asks for a notification.
  const TLogsDir logs(Temp / "logs");
  TCounterLog disk("\\LogicalDisk(" + (Temp / "tmpfs") + ")\\Avg. Disk Queue Length", 1.99999999999999, TLogId::disk,
                   logs);
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(disk.LogNewValue());
  const auto lines = testing::ReadLogLines(logs, TLogId::disk, DateOf(platform::SystemClock().LocalNow()));
  ASSERT_EQ(lines.size(), 3u);
  for (const std::string& line : lines)
    EXPECT_EQ(line.substr(line.find(" - ") + 3), "") << line;
}

TEST_F(VolumeLayoutsTest, LvmAndDmCryptVolumesHaveTheirMappedDevice) {
  if (!fs::exists("/dev/mapper/control"))
    GTEST_SKIP() << "the kernel has no device-mapper";
  TLoopDevice disk(Temp / "lvm.img", 64 << 20);
  const std::string group = "orvellatest" + std::to_string(getpid());
  TCleanUp removeGroup("vgremove -f " + group + "; pvremove -f " + disk.Device());
  ASSERT_TRUE(Quiet("pvcreate -q -f " + disk.Device() + " && vgcreate -q " + group + " " + disk.Device() +
                    " && lvcreate -q -y -n root -L 16M " + group));
  const std::string logical = "/dev/" + group + "/root";
  ASSERT_TRUE(Quiet("mkfs.ext4 -q -F " + logical));
  {
    TMount lvm(logical, Temp / "lvm", "ext4");
    ASSERT_TRUE(lvm.Mounted());
    const std::string mapped = SysfsName(logical);
    EXPECT_EQ(CheckSystemDirOn(Temp / "lvm"), (std::vector<TBlockDevice>{{mapped, mapped}}));
  }

  TLoopDevice encrypted(Temp / "crypt.img", 32 << 20);
  std::ofstream(Temp / "key") << "orvella test key";
  const std::string name = "orvellatest" + std::to_string(getpid());
  TCleanUp close("cryptsetup close " + name);
  ASSERT_TRUE(Quiet("cryptsetup open --type plain --cipher aes-xts-plain64 --key-size 256 --key-file " +
                    (Temp / "key") + " " + encrypted.Device() + " " + name));
  ASSERT_TRUE(Quiet("mkfs.ext4 -q -F /dev/mapper/" + name));
  TMount crypt("/dev/mapper/" + name, Temp / "crypt", "ext4");
  ASSERT_TRUE(crypt.Mounted());
  const std::string mapped = SysfsName("/dev/mapper/" + name);
  EXPECT_EQ(CheckSystemDirOn(Temp / "crypt"), (std::vector<TBlockDevice>{{mapped, mapped}}));
}

TEST_F(VolumeLayoutsTest, AnMdRaidHasItsArrayDevice) {
  if (!fs::exists("/proc/mdstat"))
    GTEST_SKIP() << "the kernel has no md RAID";
  TLoopDevice first(Temp / "md1.img", 32 << 20), second(Temp / "md2.img", 32 << 20);
  const std::string array = "/dev/md/orvellatest" + std::to_string(getpid());
  TCleanUp stop("mdadm --stop " + array);
  ASSERT_TRUE(Quiet("mdadm --create " + array + " --run --level=1 --raid-devices=2 --metadata=1.2 " + first.Device() +
                    " " + second.Device()));
  ASSERT_TRUE(Quiet("mkfs.ext4 -q -F " + array));
  TMount md(array, Temp / "md", "ext4");
  ASSERT_TRUE(md.Mounted());
  const std::string raid = SysfsName(array);
  EXPECT_EQ(CheckSystemDirOn(Temp / "md"), (std::vector<TBlockDevice>{{raid, raid}}));
}

}  // namespace
}  // namespace orvella
