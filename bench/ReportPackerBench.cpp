// bench_report_packer [FOLDER]: packs seven days of logs of all six monitors
// with our report packer and with `zip -q -6` on the same files, each in a
// fresh process, twice in turn, and prints the best times, the archive sizes,
// their ratios and the peak memory of both.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ReportPacker.h"
#include "platform/Clock.h"
#include "tests/support/ChildRun.h"
#include "tests/support/LogGenerator.h"

using namespace orvella;

namespace {

// An owner that never asks the packer to stop.
class TQuietOwner final : public IMonThreadOwner {
public:
  TMonThreadSettings GetSettings() override { return {}; }
  void ErrorOccured(TLogIds) override {}
  void ReportCreated(const std::string& AFileName) override { FileName = AFileName; }
  platform::TOsHandle GetJobObject() override { return 0; }
  uint8_t WaitSignal(const TSigSet&, uint32_t, platform::TOsHandle) override { return sigNone; }
  std::string FileName;
};

struct TRun {
  double Seconds = 0;
  double CpuSeconds = 0;
  long PeakKb = 0;
};

TRun RunChild(const std::vector<std::string>& AArgs, const std::string& AFolder) {
  const auto start = std::chrono::steady_clock::now();
  testing::TChildRun child(AArgs, {.Output = testing::TChildSetup::TOutput::Inherit, .Folder = AFolder});
  if (child.Wait(std::chrono::minutes(10)) != 0) {
    std::fprintf(stderr, "%s failed\n", AArgs[0].c_str());
    std::exit(1);
  }
  const rusage& usage = child.Usage();
  TRun run;
  run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.PeakKb = usage.ru_maxrss;
  return run;
}

int PackOnly(const std::string& AFolder, const std::string& AResultFile) {
  const TLogsDir logsDir(AFolder);
  auto owner = std::make_shared<TQuietOwner>();
  CreateReport(owner, "trace", logsDir, platform::SystemClock(), platform::SystemTickSource());
  std::error_code ignored;
  std::filesystem::remove(AResultFile, ignored);
  std::filesystem::rename(owner->FileName, AResultFile);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--pack-only") == 0)
    return PackOnly(argv[2], argv[3]);

  std::string folder;
  if (argc > 1) {
    folder = argv[1];
  } else {
    char pattern[] = "/tmp/orvella-bench-XXXXXX";
    folder = mkdtemp(pattern);
  }
  const std::string logs = folder + "/Logs";
  const uint64_t bytes = testing::GenerateLogs(TLogsDir(logs), platform::SystemClock().LocalNow(), 7);
  std::printf("logs: %.1f MB in 42 files\n", static_cast<double>(bytes) / 1e6);

  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(logs))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  const std::string ours = folder + "/ours.zip";
  const std::string theirs = folder + "/zip.zip";
  std::vector<std::string> zipArgs = {"zip", "-q", "-6", theirs};
  zipArgs.insert(zipArgs.end(), files.begin(), files.end());
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

  TRun bestOurs{1e9, 0, 0}, bestZip{1e9, 0, 0};
  for (int round = 0; round < 2; ++round) {
    std::filesystem::remove(theirs);
    const TRun zip = RunChild(zipArgs, logs);
    const TRun packer = RunChild({self, "--pack-only", logs, ours}, logs);
    if (zip.Seconds < bestZip.Seconds)
      bestZip = zip;
    if (packer.Seconds < bestOurs.Seconds)
      bestOurs = packer;
  }
  const double oursSize = static_cast<double>(std::filesystem::file_size(ours));
  const double zipSize = static_cast<double>(std::filesystem::file_size(theirs));
  std::printf("ours: %.2f s (cpu %.2f s), %.1f MB, peak memory %.1f MB\n", bestOurs.Seconds, bestOurs.CpuSeconds,
              oursSize / 1e6, static_cast<double>(bestOurs.PeakKb) / 1024);
  std::printf("zip:  %.2f s (cpu %.2f s), %.1f MB, peak memory %.1f MB\n", bestZip.Seconds, bestZip.CpuSeconds,
              zipSize / 1e6, static_cast<double>(bestZip.PeakKb) / 1024);
  std::printf("time ratio ours/zip: %.2f\n", bestOurs.Seconds / bestZip.Seconds);
  std::printf("size ratio ours/zip: %.3f\n", oursSize / zipSize);
  std::printf("our peak memory / logs: %.3f\n",
              static_cast<double>(bestOurs.PeakKb) * 1024 / static_cast<double>(bytes));
  if (argc <= 1)
    std::filesystem::remove_all(folder);
  return 0;
}
