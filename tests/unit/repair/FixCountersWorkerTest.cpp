// The repair worker against a folder standing in for sysfs and procfs, with
// the services key copied out of this very process.
#include "repair/FixCountersWorker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>

#include "platform/Exceptions.h"
#include "tests/support/ChildRun.h"
#include "tests/support/RepairTree.h"

namespace orvella {
namespace {

struct TLine {
  std::string Text;
  bool Error;
  bool operator==(const TLine&) const = default;
};
std::ostream& operator<<(std::ostream& AOut, const TLine& ALine) {
  return AOut << (ALine.Error ? "error: " : "") << ALine.Text;
}

class FixCountersWorkerTest : public ::testing::Test {
protected:
  // Runs the worker to its end; the log lines and the kept exception come back
  // through the GUI thread's queue.
  void RunWorker(std::vector<std::string> AArguments, TProcessRunner ARunner = nullptr) {
    if (!ARunner)
      ARunner = [this](const std::string& AExe, const std::string& AParams, bool AVisible, bool AElevated,
                       bool AWait) {
        EXPECT_FALSE(AVisible);
        EXPECT_TRUE(AElevated);
        EXPECT_TRUE(AWait);
        Started.push_back(AExe + " " + AParams);
        return 0u;
      };
    bool finished = false;
    TFixCountersWorker worker(
        std::move(AArguments),
        [this, &finished](const std::string& AText, bool AError) {
          EXPECT_FALSE(finished) << "a line after the final step";
          Lines.push_back({AText, AError});
        },
        [this, &finished](const std::exception_ptr& AError) {
          finished = true;
          Kept = AError;
        },
        Tree, ARunner);
    worker.Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!finished && std::chrono::steady_clock::now() < deadline)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(finished);
  }

  testing::TRepairTree Tree;
  std::vector<TLine> Lines;
  std::vector<std::string> Started;
  std::exception_ptr Kept;
};

TEST_F(FixCountersWorkerTest, SwitchedOffStatisticsAreSwitchedOnAndEveryStepIsLoggedInOrder) {
  Tree.SetIoStats("0\n");
  Tree.Commands = {{"/usr/sbin/first", "/R"}, {"second", "/RESYNCPERF"}};
  RunWorker(Tree.Arguments());
  const std::vector<TLine> expected{{"Openining services", false},
                                    {"PerfOS", false},
                                    {"Service already enabled", false},
                                    {"PerfDisk", false},
                                    {"Service successfully enabled", false},
                                    {"/usr/sbin/first /R", false},
                                    {"Exit code: 0", false},
                                    {"second /RESYNCPERF", false},
                                    {"Exit code: 0", false}};
  EXPECT_EQ(Lines, expected);
  EXPECT_EQ(Started, (std::vector<std::string>{"/usr/sbin/first /R", "second /RESYNCPERF"}));
  EXPECT_FALSE(Kept);
  EXPECT_EQ(Tree.IoStats(), "1\n");
}

TEST_F(FixCountersWorkerTest, StatisticsThatAreOnOrNotANumberAreLeftAlone) {
  for (const std::string value : {"1\n", "on\n"}) {
    Lines.clear();
    Tree.SetIoStats(value);
    RunWorker(Tree.Arguments());
    ASSERT_EQ(Lines.size(), 5u);
    EXPECT_EQ(Lines[4], (TLine{"Service already enabled", false})) << value;
    EXPECT_EQ(Tree.IoStats(), value);
  }
}

TEST_F(FixCountersWorkerTest, WithoutTheKeyTheServiceStepFailsAndTheCommandsStillRun) {
  Tree.Commands = {{"lodctr", "/R"}};
  RunWorker({"orvella", "FixCounters"});
  const std::vector<TLine> expected{{"Openining services", false},
                                    {"Exception: EConvertError\r\n'' is not a valid integer value", true},
                                    {"lodctr /R", false},
                                    {"Exit code: 0", false}};
  EXPECT_EQ(Lines, expected);

  // A waiting process that is gone.
  testing::TChildRun ended([] { return 0; });
  const pid_t gone = ended.Pid();
  ASSERT_EQ(ended.Wait(), 0);
  Lines.clear();
  RunWorker({"orvella", "FixCounters", std::to_string(gone), "3"});
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_TRUE(Lines[1].Error);
  EXPECT_EQ(Lines[1].Text.rfind("Exception: EOSError\r\n", 0), 0u) << Lines[1];
}

TEST_F(FixCountersWorkerTest, AFailingServiceIsLoggedWithoutColonAndTheOtherStillRuns) {
  std::filesystem::remove(Tree.Path("proc/stat"));
  Tree.SetIoStats("0");
  RunWorker(Tree.Arguments());
  ASSERT_EQ(Lines.size(), 5u);
  EXPECT_EQ(Lines[2], (TLine{"Exception EOSError\r\nThe specified object was not found on the computer.", true}));
  EXPECT_EQ(Lines[4], (TLine{"Service successfully enabled", false}));
}

TEST_F(FixCountersWorkerTest, ACommandThatFailsOrCannotStartIsAnError) {
  Tree.Commands = {{"/bin/false", ""}, {"/missing/tool", "/R"}};
  RunWorker(Tree.Arguments(), [](const std::string& AExe, const std::string&, bool, bool, bool) -> uint32_t {
    if (AExe == "/bin/false")
      return 4294967295u;
    throw EOSError(2, "No such file or directory");
  });
  ASSERT_EQ(Lines.size(), 9u);
  EXPECT_EQ(Lines[5], (TLine{"/bin/false ", false}));
  EXPECT_EQ(Lines[6], (TLine{"Exit code: -1", true}));
  EXPECT_EQ(Lines[8], (TLine{"Exception: EOSError\r\nNo such file or directory", true}));
  EXPECT_FALSE(Kept);
}

}  // namespace
}  // namespace orvella
