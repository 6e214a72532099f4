#include "platform/linux/VolumeDevices.h"

#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/SystemError.h"
#include "platform/linux/FileDescriptor.h"

namespace fs = std::filesystem;

namespace orvella::platform {

namespace {

// The mount table writes blanks, tabs, line breaks and backslashes as \ooo.
std::string UnescapeMountField(const std::string& AField) {
  std::string text;
  for (size_t i = 0; i < AField.size(); ++i) {
    if (AField[i] == '\\' && i + 3 < AField.size()) {
      const std::string digits = AField.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        text += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    text += AField[i];
  }
  return text;
}

bool Holds(const std::string& AMountPoint, const std::string& APath) {
  return AMountPoint == "/" || APath == AMountPoint ||
         (APath.rfind(AMountPoint, 0) == 0 && APath.size() > AMountPoint.size() && APath[AMountPoint.size()] == '/');
}

std::string UuidText(const unsigned char (&AId)[BTRFS_FSID_SIZE]) {
  char text[37];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", AId[0],
                AId[1], AId[2], AId[3], AId[4], AId[5], AId[6], AId[7], AId[8], AId[9], AId[10], AId[11], AId[12],
                AId[13], AId[14], AId[15]);
  return text;
}

}  // namespace

TVolumeDevices::TVolumeDevices(std::string ASysRoot, std::string AProcRoot)
    : FSysRoot(std::move(ASysRoot)), FProcRoot(std::move(AProcRoot)) {}

std::vector<TBlockDevice> TVolumeDevices::Of(const std::string& APath) const {
  struct stat info = {};
  if (stat(APath.c_str(), &info) != 0)
    RaiseLastOSError();
  std::error_code error;
  const fs::path link = fs::path(FSysRoot) / "dev/block" /
                        (std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev)));
  if (fs::exists(link, error))
    return {FromSysfsFolder(fs::canonical(link, error).string())};
  return BtrfsDevices(APath);
}

TBlockDevice TVolumeDevices::Named(const std::string& AName) const {
  std::string sysfsName = AName;
  std::replace(sysfsName.begin(), sysfsName.end(), '/', '!');
  std::error_code error;
  const fs::path folder = fs::canonical(fs::path(FSysRoot) / "class/block" / sysfsName, error);
  if (error)
    return {AName, {}};
  return FromSysfsFolder(folder.string());
}

// A partition's folder lies inside its disk's folder and holds a "partition" file.
TBlockDevice TVolumeDevices::FromSysfsFolder(const std::string& AFolder) const {
  const fs::path folder(AFolder);
  std::string name = folder.filename().string();
  std::error_code error;
  const std::string disk = fs::exists(folder / "partition", error) ? folder.parent_path().filename().string() : name;
  // sysfs cannot hold a slash in a name and writes it as "!".
  std::replace(name.begin(), name.end(), '!', '/');
  return {name, disk};
}

// A btrfs names its devices in sysfs under its file-system id.
std::vector<TBlockDevice> TVolumeDevices::BtrfsDevices(const std::string& APath) const {
  struct statfs fileSystem {};
  if (statfs(APath.c_str(), &fileSystem) != 0)
    RaiseLastOSError();
  if (static_cast<unsigned long>(fileSystem.f_type) != BTRFS_SUPER_MAGIC)
    return {};
  const TFd file(open(APath.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0)
    RaiseLastOSError();
  btrfs_ioctl_fs_info_args fsInfo{};
  if (ioctl(file.Get(), BTRFS_IOC_FS_INFO, &fsInfo) != 0)
    RaiseLastOSError();

  std::vector<TBlockDevice> devices;
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(FSysRoot) / "fs/btrfs" / UuidText(fsInfo.fsid) / "devices", error)) {
    const fs::path folder = fs::canonical(entry.path(), error);
    if (!error)
      devices.push_back(FromSysfsFolder(folder.string()));
  }
  std::sort(devices.begin(), devices.end(),
            [](const TBlockDevice& A, const TBlockDevice& B) { return A.Name < B.Name; });
  return devices;
}

std::string TVolumeDevices::MountPoint(const std::string& APath) const {
  std::error_code error;
  const std::string path = fs::weakly_canonical(APath, error).string();
  std::ifstream mounts(FProcRoot + "/self/mountinfo");
  std::string line, best;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point;
    if (!(fields >> id >> parent >> numbers >> root >> point))
      continue;
    point = UnescapeMountField(point);
    if (Holds(point, path) && point.size() >= best.size())
      best = point;
  }
  return best.empty() ? path : best;
}

}  // namespace orvella::platform
