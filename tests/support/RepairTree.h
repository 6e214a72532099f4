#pragma once
// A folder standing in for the system as the counter repair sees it: sysfs
// with one disk "sdx" under the system directory, procfs with processor and
// memory sources, and the folder of the block devices held open as the
// waiting monitor holds its services key. Commands to run can be added.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/PerfServices.h"
#include "tests/support/FileText.h"
#include "tests/support/TempDir.h"

namespace orvella::testing {

class TRepairTree : public platform::IPerfServices {
public:
  TRepairTree() {
    namespace fs = std::filesystem;
    fs::create_directories(FTemp / "sys/block/sdx/queue");
    fs::create_directories(FTemp / "sys/dev/block");
    fs::create_directories(FTemp / "proc");
    fs::create_directories(FTemp / "usr/bin");
    struct stat info = {};
    ::stat(SystemDir().c_str(), &info);
    fs::create_directory_symlink("../../block/sdx", FTemp / ("sys/dev/block/" + std::to_string(major(info.st_dev)) +
                                                             ":" + std::to_string(minor(info.st_dev))));
    std::ofstream(FTemp / "proc/stat") << "cpu  10 0 10 100 0 0 0 0 0 0\n";
    std::ofstream(FTemp / "proc/meminfo") << "MemTotal: 1000 kB\nMemAvailable: 500 kB\n";
    SetIoStats("1\n");
    FKey.emplace(platform::OpenServicesKey(FTemp / "sys/block"));
  }

  std::string SystemDir() const { return FTemp / "usr/bin"; }
  std::string Path(const std::string& AName) const { return FTemp / AName; }
  void SetIoStats(const std::string& AText) const { std::ofstream(FTemp / "sys/block/sdx/queue/iostats") << AText; }
  std::string IoStats() const { return ReadFileText(FTemp / "sys/block/sdx/queue/iostats"); }

  // The repair's command line as the relaunch writes it.
  std::vector<std::string> Arguments() const {
    return {"orvella", "FixCounters", std::to_string(getpid()), std::to_string(FKey->Handle())};
  }

  std::vector<platform::TRepairCommand> Commands;

  std::vector<platform::TRepairCommand> PrepareRepairCommands() override {
    FServices.PrepareRepairCommands();
    return Commands;
  }
  bool EnableServiceCounters(const platform::TServicesKey& AKey, const std::string& AServiceName) override {
    return FServices.EnableServiceCounters(AKey, AServiceName);
  }

private:
  TTempDir FTemp;
  std::optional<platform::TServicesKey> FKey;
  platform::TLinuxPerfServices FServices{SystemDir(), FTemp / "sys", FTemp / "proc"};
};

}  // namespace orvella::testing
