// The gate between the run modes, with the counters' answer and the starting
// of programs in the test's hands.
#include "shell/RunModes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "base/ExceptionReport.h"
#include "platform/Exceptions.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

struct TStart {
  std::string Exe, Params;
  bool Visible, Elevated, Wait;
  std::string KeyTarget;  // what the key in the parameters names while the program runs
};

class RunModesTest : public ::testing::Test {
protected:
  TRunModes Gate(bool ACountersAvailable, bool ADecline = false) {
    return TRunModes(
        [this, ACountersAvailable] {
          ++CounterChecks;
          return ACountersAvailable;
        },
        [this, ADecline](const std::string& AExe, const std::string& AParams, bool AVisible, bool AElevated,
                         bool AWait) -> uint32_t {
          std::error_code error;
          const std::string fd = AParams.substr(AParams.find_last_of(' ') + 1);
          Starts.push_back({AExe, AParams, AVisible, AElevated, AWait,
                            std::filesystem::read_symlink("/proc/self/fd/" + fd, error).string()});
          if (ADecline)
            throw EOSError(13, "Permission denied");
          return AWait ? 0 : 259;
        },
        "/usr/bin/orvella", Key.Path());
  }

  testing::TTempDir Key;
  int CounterChecks = 0;
  std::vector<TStart> Starts;
};

TEST_F(RunModesTest, TheRepairArgumentIsComparedExactlyAndAvailableCountersMeanNoRelaunch) {
  EXPECT_EQ(Gate(false).Choose({"orvella", "FixCounters"}), TRunMode::FixCounters);
  EXPECT_EQ(Gate(false).Choose({"orvella", "FixCounters", "12", "7"}), TRunMode::FixCounters);
  EXPECT_EQ(CounterChecks, 0);
  EXPECT_EQ(Gate(true).Choose({"orvella", "fixcounters"}), TRunMode::Normal);
  EXPECT_EQ(Gate(true).Choose({"orvella"}), TRunMode::Normal);
  EXPECT_EQ(Gate(false).Choose({"orvella", "FixCounters2"}), TRunMode::RelaunchToFixCounters);

  int normalRuns = 0;
  EXPECT_EQ(RunChosenMode(
                {"orvella"}, [&normalRuns] { return ++normalRuns, 3; }, Gate(true)),
            3);
  EXPECT_EQ(normalRuns, 1);
  EXPECT_TRUE(Starts.empty());
}

TEST_F(RunModesTest, UnavailableCountersRunTheRepairElevatedWithTheKeyOpenThenAFreshInstance) {
  int normalRuns = 0;
  RunChosenMode(
      {"orvella"}, [&normalRuns] { return ++normalRuns; }, Gate(false));
  EXPECT_EQ(normalRuns, 0);
  ASSERT_EQ(Starts.size(), 2u);
  const std::string prefix = "FixCounters " + std::to_string(getpid()) + " ";
  EXPECT_EQ(Starts[0].Exe, "/usr/bin/orvella");
  EXPECT_EQ(Starts[0].Params.rfind(prefix, 0), 0u) << Starts[0].Params;
  EXPECT_EQ(Starts[0].KeyTarget, Key.Path());
  EXPECT_TRUE(Starts[0].Visible && Starts[0].Elevated && Starts[0].Wait);
  EXPECT_EQ(Starts[1].Exe, "/usr/bin/orvella");
  EXPECT_EQ(Starts[1].Params, "");
  EXPECT_TRUE(Starts[1].Visible && !Starts[1].Elevated && !Starts[1].Wait);
  // The key is closed once both runs are over.
  EXPECT_FALSE(std::filesystem::exists("/proc/self/fd/" + Starts[0].Params.substr(prefix.size())));
}

TEST_F(RunModesTest, ADeclinedPromptOrAMissingKeyStartsNoNewInstance) {
  ::testing::internal::CaptureStderr();
  Gate(false, true).RelaunchToFixCounters();
  EXPECT_EQ(Starts.size(), 1u);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Permission denied"), std::string::npos);

  Starts.clear();
  std::filesystem::remove(Key.Path());
  ::testing::internal::CaptureStderr();
  Gate(false).RelaunchToFixCounters();
  EXPECT_TRUE(Starts.empty());
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("No such file or directory"), std::string::npos);
}

TEST_F(RunModesTest, AFailureWhileAModeBuildsItsObjectsIsReportedAndEndsTheProcessWithFailure) {
  const struct {
    std::function<bool()> CountersAvailable;
    std::function<int()> NormalMode;
    const char* Said;
  } cases[] = {
      {[] { return true; }, []() -> int { throw EOSError(24, "Too many open files"); }, "Too many open files"},
      {[] { return true; },
       []() -> int { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); },
       "Resource temporarily unavailable"},
      {[]() -> bool { throw EOSError(5, "Input/output error"); }, [] { return 0; }, "Input/output error"}};
  for (const auto& failure : cases) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunChosenMode({"orvella"}, failure.NormalMode, TRunModes(failure.CountersAvailable)), EXIT_FAILURE);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(std::string(ApplicationTitle) + ": " + failure.Said), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace orvella
