// Report archives, checked with Python's zipfile and unzip.
#include "engine/ReportPacker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonThreadOwner.h"
#include "tests/support/FakeTickSource.h"
#include "tests/support/TempDir.h"
#include "tests/support/ZipCheck.h"

namespace orvella {
namespace {

using testing::TFakeMonThreadOwner;

class ReportPackerTest : public ::testing::Test {
protected:
  ReportPackerTest()
      : FLogsDir(FDir / "Logs"), FClock(EncodeDate(2021, 4, 19) + EncodeTime(14, 3, 7, 0)), FTicks(100000),
        FOwner(std::make_shared<TFakeMonThreadOwner>()) {}

  void WriteLog(const std::string& AName, const std::string& AContent) {
    std::filesystem::create_directories(FLogsDir.Path());
    std::ofstream(FLogsDir.Path() + "/" + AName, std::ios::binary) << AContent;
  }

  std::string Archive() const { return FLogsDir.Path() + "/2021.04.19_14.03.07.zip"; }

  std::vector<std::string> ListingLines() const {
    std::istringstream listing(testing::ZipfileListing(Archive()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(listing, line);)
      lines.push_back(line);
    return lines;
  }

  testing::TTempDir FDir;
  TLogsDir FLogsDir;
  testing::TFakeClock FClock;
  testing::TFakeTickSource FTicks;
  std::shared_ptr<TFakeMonThreadOwner> FOwner;
};

TEST_F(ReportPackerTest, PacksTheLastSevenDaysOfLogsAndTheTraceLast) {
  WriteLog("2021.04.19_gateway.log", "19.04.2021 14:03:06 - Ping gateway\r\n");
  WriteLog("2021.04.13_cpu.log", "13.04.2021 00:00:00 - 12.5\r\n");
  WriteLog("2021.04.12_ram.log", "seven days old\r\n");
  WriteLog("2021.04.20_disk.log", "tomorrow\r\n");
  WriteLog("2021.04.18_10.00.00.zip", "an older report");
  WriteLog("2021.4.19_ram.log", "not a canonical name\r\n");

  CreateReport(FOwner, "trace", FLogsDir, FClock, FTicks);

  ASSERT_EQ(FOwner->Reports, std::vector<std::string>{Archive()});
  const std::vector<std::string> lines = ListingLines();
  ASSERT_EQ(lines.size(), 4u) << testing::ZipfileListing(Archive());
  const std::set<std::string> logs(lines.begin(), lines.begin() + 2);
  EXPECT_EQ(logs, (std::set<std::string>{"2021.04.19_gateway.log 8 36", "2021.04.13_cpu.log 8 28"}));
  EXPECT_EQ(lines[2], "2021.04.19_14.03.07_pathping 8 5");
  EXPECT_EQ(lines[3], "ok");
  EXPECT_TRUE(testing::UnzipTestPasses(Archive()));
  EXPECT_EQ(testing::ZipfileEntry(Archive(), "2021.04.13_cpu.log"), "13.04.2021 00:00:00 - 12.5\r\n");
}

TEST_F(ReportPackerTest, WithoutLogsTheArchiveHoldsTheTraceAlone) {
  const mode_t saved = umask(0);
  CreateReport(FOwner, "", FLogsDir, FClock, FTicks);
  umask(saved);
  struct stat info = {};
  ASSERT_EQ(stat(Archive().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);  // whatever the umask
  ASSERT_EQ(FOwner->Reports, std::vector<std::string>{Archive()});
  EXPECT_EQ(ListingLines(), (std::vector<std::string>{"2021.04.19_14.03.07_pathping 8 0", "ok"}));
}

TEST_F(ReportPackerTest, TheTraceIsConvertedToUtf8) {
  TReportPacker packer(FOwner, FLogsDir, FClock, FTicks, "CP866");
  packer.AddLogs();
  // "Трасса" in code page 866, and a byte that is not valid there.
  packer.FinalizeReport("\x92\xE0\xA0\xE1\xE1\xA0 ok");
  ASSERT_EQ(packer.FileName(), Archive());
  EXPECT_EQ(testing::ZipfileEntry(Archive(), "2021.04.19_14.03.07_pathping"), "Трасса ok");

  TReportPacker utf8(FOwner, FLogsDir, FClock, FTicks, "UTF-8");
  utf8.AddLogs();
  utf8.FinalizeReport("ok \xFF end");
  EXPECT_EQ(testing::ZipfileEntry(Archive(), "2021.04.19_14.03.07_pathping"), "ok \xEF\xBF\xBD end");
}

TEST_F(ReportPackerTest, ASecondReportInTheSameSecondReplacesTheFirst) {
  WriteLog("2021.04.19_rdp.log", "line\r\n");
  CreateReport(FOwner, "first", FLogsDir, FClock, FTicks);
  CreateReport(FOwner, "second", FLogsDir, FClock, FTicks);
  EXPECT_EQ(FOwner->Reports, (std::vector<std::string>{Archive(), Archive()}));
  EXPECT_EQ(ListingLines(),
            (std::vector<std::string>{"2021.04.19_rdp.log 8 6", "2021.04.19_14.03.07_pathping 8 6", "ok"}));
  EXPECT_EQ(testing::ZipfileEntry(Archive(), "2021.04.19_14.03.07_pathping"), "second");
}

TEST_F(ReportPackerTest, AFolderThatCannotBeMadeFailsWithoutAReport) {
  std::ofstream(FDir / "Logs") << "a file where the folder belongs";
  EXPECT_THROW(CreateReport(FOwner, "trace", FLogsDir, FClock, FTicks), EOSError);
  EXPECT_TRUE(FOwner->Reports.empty());
}

TEST_F(ReportPackerTest, TheZipWritersSideFileGoesWhenAKilledPackingLeftIt) {
  WriteLog("2021.04.19_cpu.log", std::string(1 << 20, 'x'));
  std::vector<std::string> sideFiles;
  FOwner->Answer = [&](const TFakeMonThreadOwner::TWait&) {
    // While the archive is written the cleaning leaves its side file alone.
    FLogsDir.RemovePackingLeftovers();
    for (const auto& entry : std::filesystem::directory_iterator(FLogsDir.Path()))
      if (entry.path().filename().string().rfind("2021.04.19_14.03.07.zip.", 0) == 0)
        sideFiles.push_back(entry.path().filename().string());
    return sigNone;
  };
  CreateReport(FOwner, "trace", FLogsDir, FClock, FTicks);
  ASSERT_EQ(sideFiles.size(), 1u);
  EXPECT_TRUE(testing::UnzipTestPasses(Archive()));

  // What a kill in the middle leaves behind, beside names that are not ours.
  for (const std::string& name :
       {sideFiles[0], std::string("backup.zip.Ab3xYz"), std::string("2021.04.19_x.zip.bak")})
    WriteLog(name, "partial");
  FLogsDir.RemovePackingLeftovers();
  EXPECT_FALSE(std::filesystem::exists(FLogsDir.Path() + "/" + sideFiles[0]));
  EXPECT_TRUE(std::filesystem::exists(FLogsDir.Path() + "/backup.zip.Ab3xYz"));
  EXPECT_TRUE(std::filesystem::exists(FLogsDir.Path() + "/2021.04.19_x.zip.bak"));
  EXPECT_TRUE(std::filesystem::exists(Archive()));
}

TEST_F(ReportPackerTest, TerminationAbandonsTheArchive) {
  WriteLog("2021.04.19_cpu.log", std::string(1 << 20, 'x'));
  FOwner->Answer = [](const TFakeMonThreadOwner::TWait&) { return sigTerminate; };
  CreateReport(FOwner, "trace", FLogsDir, FClock, FTicks);
  EXPECT_EQ(FOwner->Reports, std::vector<std::string>{""});
  ASSERT_EQ(FOwner->Waits.size(), 1u);
  EXPECT_EQ(FOwner->Waits[0].Indices, TSigSet{sigTerminate});
  EXPECT_EQ(FOwner->Waits[0].Timeout, 0u);
  EXPECT_EQ(FOwner->Waits[0].Obj, 0u);
}

TEST_F(ReportPackerTest, TheTerminationSignalIsPolledAtMostEvery250Milliseconds) {
  // Several megabytes of lines, so that compression takes many progress steps.
  std::string lines;
  for (int i = 0; lines.size() < (8u << 20); ++i)
    lines += "19.04.2021 14:03:07 - " + std::to_string(i * 7919L % 100003) + "\r\n";
  WriteLog("2021.04.19_cpu.log", lines);
  CreateReport(FOwner, "trace", FLogsDir, FClock, FTicks);
  ASSERT_EQ(FOwner->Reports, std::vector<std::string>{Archive()});
  // The tick counter stood still: only the first progress step polled.
  EXPECT_EQ(FOwner->Waits.size(), 1u);
  EXPECT_EQ(testing::ZipfileEntry(Archive(), "2021.04.19_cpu.log"), lines);
}

TEST_F(ReportPackerTest, ATerminationNoticedAtTheLastProgressEventAbandonsTheArchive) {
  // Every progress event polls: the clock moves on by more than 250 ms per poll.
  for (const int day : {13, 16, 19})
    WriteLog("2021.04." + std::to_string(day) + "_cpu.log", std::string(3000, 'x'));
  int polls = 0;
  int stopAt = 0;
  FOwner->Answer = [&](const TFakeMonThreadOwner::TWait&) {
    FTicks.Advance(300);
    return ++polls == stopAt ? sigTerminate : sigNone;
  };
  CreateReport(FOwner, "trace", FLogsDir, FClock, FTicks);
  ASSERT_EQ(FOwner->Reports, std::vector<std::string>{Archive()});
  ASSERT_GT(polls, 1);

  // The last event comes when the archive is already written, too late for
  // the writer to stop; the report is abandoned all the same.
  stopAt = polls;
  polls = 0;
  CreateReport(FOwner, "trace", FLogsDir, FClock, FTicks);
  EXPECT_EQ(polls, stopAt);
  EXPECT_EQ(FOwner->Reports.back(), "");
}

}  // namespace
}  // namespace orvella
