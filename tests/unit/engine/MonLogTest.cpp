#include "engine/MonLog.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <new>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FileText.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using testing::ReadFileText;
using testing::TFakeClock;
using testing::TTempDir;
using TValType = TMonLog::TValType;

// A monitor whose next sample the test chooses, and which exposes its history.
class TScriptedMonitor final : public TMonLog {
public:
  TScriptedMonitor(const TLogsDir& ADir, const platform::IClock& AClock, double AMin = 0, double AMax = 100)
      : TMonLog(TLogId::ram, AMin, AMax, ADir, AClock) {}

  std::function<TSampleValue()> Next = [] { return TSampleValue(); };
  bool Persisting = false;

  std::vector<TValType> History() const {
    std::vector<TValType> values;
    ScanValues([&](TValType AValue, int APosition) {
      EXPECT_EQ(APosition, static_cast<int>(values.size()));
      values.push_back(AValue);
      return false;
    });
    return values;
  }
  bool Scan(const TPredicate& APredicate) const { return ScanValues(APredicate); }
  bool ScanFor(TValType AWanted) const {
    return ScanValues([&](TValType AValue, int) { return AValue == AWanted; });
  }

protected:
  void GetValue(TSampleValue& AValue) override { AValue = Next(); }
  bool NeedNotifyAboutError() override { return Persisting; }
};

void Touch(const std::string& AFileName) { std::ofstream(AFileName) << "old\r\n"; }

bool Exists(const std::string& AFileName) { return std::ifstream(AFileName).good(); }

unsigned Mode(const std::string& APath) {
  struct stat info = {};
  return stat(APath.c_str(), &info) == 0 ? info.st_mode & 07777 : ~0u;
}

class MonLog : public ::testing::Test {
protected:
  TTempDir Temp;
  TLogsDir Dir{Temp / "Orvella/Logs"};
  TFakeClock Clock{EncodeDate(2021, 4, 19) + EncodeTime(14, 3, 7, 250)};
  TScriptedMonitor Monitor{Dir, Clock};

  TValType Sample(TSampleValue AValue) {
    Monitor.Next = [AValue] { return AValue; };
    Monitor.LogNewValue();
    return Monitor.History().back();
  }
  std::string DayFile(int ADay = 19) const { return Dir.LogFileName(TLogId::ram, EncodeDate(2021, 4, ADay)); }
};

TEST_F(MonLog, WritesOneLinePerSampleToTheDayFile) {
  Sample(12.5);
  Sample(int64_t{98});
  Sample(TSampleValue());
  Sample("Error 11010: Request timed out.");
  EXPECT_EQ(DayFile(), Temp / "Orvella/Logs/2021.04.19_ram.log");
  EXPECT_EQ(ReadFileText(DayFile()),
            "19.04.2021 14:03:07 - 12.5\r\n"
            "19.04.2021 14:03:07 - 98\r\n"
            "19.04.2021 14:03:07 - \r\n"
            "19.04.2021 14:03:07 - Error 11010: Request timed out.\r\n");
}

TEST_F(MonLog, JudgesAgainstInclusiveBounds) {
  EXPECT_EQ(Sample(0.0), TValType::Ok);
  EXPECT_EQ(Sample(100.0), TValType::Ok);
  EXPECT_EQ(Sample(int64_t{100}), TValType::Ok);
  EXPECT_EQ(Sample(100.0000001), TValType::OutOfBounds);
  EXPECT_EQ(Sample(-0.0000001), TValType::OutOfBounds);
  EXPECT_EQ(Sample(TSampleValue()), TValType::Clear);
  EXPECT_EQ(Sample("12"), TValType::Error);
}

TEST_F(MonLog, NoLowerBoundAcceptsTheMostNegativeNumber) {
  TScriptedMonitor unbounded(Dir, Clock, TMonLog::NoLowerBound, 50);
  unbounded.Next = [] { return TSampleValue(-1.7976931348623157e308); };
  unbounded.LogNewValue();
  EXPECT_EQ(unbounded.History().back(), TValType::Ok);
}

TEST_F(MonLog, AnOrdinaryExceptionBecomesAnErrorSample) {
  Monitor.Next = []() -> TSampleValue { throw EOSError(5, "Access is denied"); };
  EXPECT_TRUE(Monitor.LogNewValue());
  EXPECT_EQ(Monitor.History().back(), TValType::Error);
  EXPECT_EQ(ReadFileText(DayFile()), "19.04.2021 14:03:07 - EOSError: Access is denied\r\n");
}

TEST_F(MonLog, OtherFailuresPassThrough) {
  Monitor.Next = []() -> TSampleValue { throw std::bad_alloc(); };
  EXPECT_THROW(Monitor.LogNewValue(), std::bad_alloc);
}

TEST_F(MonLog, ResultIsTheNegatedPersistenceDecision) {
  EXPECT_TRUE(Monitor.LogNewValue());
  Monitor.Persisting = true;
  EXPECT_FALSE(Monitor.LogNewValue());
}

TEST_F(MonLog, HistoryKeepsTheLatestHundredVerdicts) {
  Sample("first");
  for (int i = 0; i < 99; ++i)
    Sample(1.0);
  EXPECT_EQ(Monitor.History().size(), 100u);
  EXPECT_EQ(Monitor.History().front(), TValType::Error);
  Sample(1.0);  // the 101st drops the first
  EXPECT_EQ(Monitor.History().size(), 100u);
  EXPECT_FALSE(Monitor.ScanFor(TValType::Error));
}

TEST_F(MonLog, ScanValuesStopsAtTheFirstTrueAndReportsTheLastCall) {
  for (const TSampleValue& value : {TSampleValue(1.0), TSampleValue("x"), TSampleValue(500.0)})
    Sample(value);
  std::vector<int> visited;
  EXPECT_TRUE(Monitor.Scan([&](TValType AValue, int APosition) {
    visited.push_back(APosition);
    return AValue == TValType::Error;
  }));
  EXPECT_EQ(visited, (std::vector<int>{0, 1}));
  EXPECT_FALSE(Monitor.ScanFor(TValType::Clear));
  EXPECT_TRUE(Monitor.ScanFor(TValType::OutOfBounds));
}

TEST_F(MonLog, ClearErrorsEmptiesTheHistoryButNotTheFile) {
  Sample("broken");
  Monitor.ClearErrors();
  EXPECT_TRUE(Monitor.History().empty());
  EXPECT_FALSE(Monitor.ScanFor(TValType::Error));
  EXPECT_NE(ReadFileText(DayFile()).find("broken"), std::string::npos);
}

TEST_F(MonLog, FirstSampleAppendsToAnEarlierRunsFileOfTheSameDay) {
  ASSERT_TRUE(platform::ForceDirectories(Dir.Path()));
  Touch(DayFile());
  Sample(1.0);
  EXPECT_EQ(ReadFileText(DayFile()), "old\r\n19.04.2021 14:03:07 - 1\r\n");
}

TEST_F(MonLog, MidnightSwitchesFilesAndKeepsSixDaysBefore) {
  ASSERT_TRUE(platform::ForceDirectories(Dir.Path()));
  Sample(1.0);
  // Files of other days, as an earlier week of runs left them.
  const std::string sevenBefore = Dir.LogFileName(TLogId::cpu, EncodeDate(2021, 4, 13));
  const std::string sixBefore = Dir.LogFileName(TLogId::cpu, EncodeDate(2021, 4, 14));
  const std::string oldArchive = Dir.FileName("10.00.00", true, EncodeDate(2021, 4, 1));
  const std::string keptArchive = Dir.FileName("10.00.00", true, EncodeDate(2021, 4, 15));
  const std::string future = Dir.LogFileName(TLogId::disk, EncodeDate(2021, 4, 21));
  const std::string foreign = Dir.Path() + "/notes_2021.txt";
  const std::string packingLeftover = keptArchive + ".Ab3xYz";
  for (const std::string& name : {sevenBefore, sixBefore, oldArchive, keptArchive, future, foreign, packingLeftover})
    Touch(name);

  Clock.SetLocal(EncodeDate(2021, 4, 20) + EncodeTime(0, 0, 0, 10));
  Sample(2.0);
  EXPECT_EQ(ReadFileText(DayFile(20)), "20.04.2021 00:00:00 - 2\r\n");
  EXPECT_EQ(ReadFileText(DayFile(19)), "19.04.2021 14:03:07 - 1\r\n");
  EXPECT_FALSE(Exists(sevenBefore));
  EXPECT_TRUE(Exists(sixBefore));
  EXPECT_FALSE(Exists(oldArchive));
  EXPECT_TRUE(Exists(keptArchive));
  EXPECT_FALSE(Exists(future));
  EXPECT_TRUE(Exists(foreign));
  EXPECT_FALSE(Exists(packingLeftover));
}

TEST_F(MonLog, FolderThatCannotBeCreatedRaisesTheSystemError) {
  Touch(Temp / "Orvella");
  EXPECT_THROW(Monitor.LogNewValue(), EOSError);
}

TEST_F(MonLog, DayFileIsOpenedAgainAfterAFailedOpen) {
  Touch(Temp / "Orvella");
  EXPECT_THROW(Monitor.LogNewValue(), EOSError);
  ASSERT_TRUE(platform::RemoveFile(Temp / "Orvella"));
  Sample(3.0);
  EXPECT_EQ(ReadFileText(DayFile()), "19.04.2021 14:03:07 - 3\r\n");
}

TEST_F(MonLog, ADeletedOrReplacedFileIsOpenedAgainByItsName) {
  Sample(1.0);
  ASSERT_TRUE(platform::RemoveFile(DayFile()));
  Sample(2.0);
  EXPECT_EQ(ReadFileText(DayFile()), "19.04.2021 14:03:07 - 2\r\n");

  std::filesystem::rename(DayFile(), Temp / "moved.log");
  Touch(DayFile());
  Sample(3.0);
  EXPECT_EQ(ReadFileText(DayFile()), "old\r\n19.04.2021 14:03:07 - 3\r\n");

  std::filesystem::remove_all(Dir.Path());
  Sample(4.0);
  EXPECT_EQ(ReadFileText(DayFile()), "19.04.2021 14:03:07 - 4\r\n");

  // Another file renamed over it, and then the whole folder moved away.
  std::ofstream(Temp / "other.log") << "other\r\n";
  std::filesystem::rename(Temp / "other.log", DayFile());
  Sample(5.0);
  EXPECT_EQ(ReadFileText(DayFile()), "other\r\n19.04.2021 14:03:07 - 5\r\n");
  std::filesystem::rename(Dir.Path(), Temp / "moved-logs");
  Sample(6.0);
  EXPECT_EQ(ReadFileText(DayFile()), "19.04.2021 14:03:07 - 6\r\n");
}

// The lines name the client's server.
TEST_F(MonLog, TheFolderAndTheFilesAreTheUsersAloneWhateverTheUmask) {
  const mode_t saved = umask(0);
  Sample(1.0);
  EXPECT_EQ(Mode(Temp / "Orvella"), 0700u);
  EXPECT_EQ(Mode(Dir.Path()), 0700u);
  EXPECT_EQ(Mode(DayFile()), 0600u);

  // A folder that an earlier version left open to others is narrowed.
  chmod(Dir.Path().c_str(), 0755);
  Clock.SetLocal(EncodeDate(2021, 4, 20));
  Sample(2.0);
  umask(saved);
  EXPECT_EQ(Mode(Dir.Path()), 0700u);
  EXPECT_EQ(Mode(DayFile(20)), 0600u);
}

TEST_F(MonLog, OutlivesTheFolderObjectItWasGiven) {
  TScriptedMonitor monitor(TLogsDir(Temp / "Orvella/Logs"), Clock);
  monitor.LogNewValue();
  EXPECT_EQ(ReadFileText(DayFile()), "19.04.2021 14:03:07 - \r\n");
}

// Whether the kernel wrote the file to disk cannot be seen from here; what can
// is that a flush with no day file open makes none, and that a flush leaves
// the open file where it is, every line kept and the next one following it.
TEST_F(MonLog, FlushMakesNoFileWhenNoneIsOpenAndKeepsTheOpenOne) {
  EXPECT_NO_THROW(Monitor.Flush());
  EXPECT_FALSE(Exists(DayFile()));
  Sample(1.0);
  EXPECT_NO_THROW(Monitor.Flush());
  Sample(2.0);
  EXPECT_EQ(ReadFileText(DayFile()), "19.04.2021 14:03:07 - 1\r\n19.04.2021 14:03:07 - 2\r\n");
}

}  // namespace
}  // namespace orvella
