// The monitoring loop against fakes of the network, the counters and time:
// every wait is answered by the test, and the tick counter moves by the wait's
// time-out, so minutes of monitoring run in milliseconds.
#include "engine/MonThread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "engine/CounterLog.h"
#include "engine/Signals.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "tests/support/ExpectError.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeIcmp.h"
#include "tests/support/FakeMonThreadOwner.h"
#include "tests/support/FakeNetworkTables.h"
#include "tests/support/FakePerfCounters.h"
#include "tests/support/FakeResolver.h"
#include "tests/support/FakeTickSource.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using testing::TFakeEcho;
using testing::TFakeMonThreadOwner;
using TWait = TFakeMonThreadOwner::TWait;

const uint32_t GatewayIp = platform::InetAddr("10.0.0.1");
const uint32_t ServerIp = platform::InetAddr("192.0.2.10");
constexpr uint32_t GoogleIp = 0x08080808;

class MonThreadTest : public ::testing::Test {
protected:
  MonThreadTest()
      : FLogsDir(FDir / "Logs"), FClock(EncodeDate(2021, 4, 19) + EncodeTime(12, 0, 0, 0)), FTicks(1000000),
        FIcmp(FTicks), FOwner(std::make_shared<TFakeMonThreadOwner>()) {
    for (const uint32_t ip : {GatewayIp, GoogleIp, ServerIp})
      FIcmp.SetEcho(ip, TFakeEcho::Reply(0));
    FResolver.Names["srv"] = "192.0.2.10";
    FTables.Route(ServerIp, platform::RouteTypeIndirect, GatewayIp);
    SetConnected(true);
    FOwner->Settings = {"srv", true};
    FOwner->Answer = [this](const TWait& AWait) { return Answer(AWait); };
    // Load within the bounds: a tenth of the processor, half of the memory.
    using testing::TFakePerfCounters;
    FCounters.TotalBytes = 8000000000;
    FCounters.PathAnswers[ProcessorTimeCounterPath] = TFakePerfCounters::Value(10);
    FCounters.PathAnswers[AvailableBytesCounterPath] = TFakePerfCounters::Value(4e9);
    FCounters.PathAnswers[DiskQueueCounterPath()] = TFakePerfCounters::Value(0.5);
  }

  TMonThreadPlatform Platform() {
    return {.LogsDir = FLogsDir,
            .Clock = FClock,
            .Ticks = FTicks,
            .Icmp = FIcmp,
            .Counters = FCounters,
            .Resolver = FResolver,
            .Tables = FTables,
            .TraceCommand = [this](const std::string& AHost) {
              FTraces.push_back(AHost);
              return std::vector<std::string>{"/bin/echo", "trace to", AHost};
            }};
  }

  // Runs the loop until FWaitsLeft full waits have been answered.
  void Run(int AWaits) {
    FWaitsLeft = AWaits;
    MonThreadRun(FOwner, Platform());
  }

  // The default script: time passes by each wait's time-out, a running trace
  // is waited for for real, and termination comes after the planned waits.
  uint8_t Answer(const TWait& AWait) {
    if (AWait.Indices == TSigSet{sigTerminate})
      return FPollAnswer ? FPollAnswer() : sigNone;
    ++FFullWaits;
    if (FWaitsLeft-- <= 0)
      return sigTerminate;
    if (FNextAnswers.size() > 0) {
      const uint8_t answer = FNextAnswers.front();
      FNextAnswers.erase(FNextAnswers.begin());
      return answer;
    }
    if (AWait.Obj != 0) {
      TSignals signals(1);
      if (signals.Wait({1}, 10000, AWait.Obj) == 1)
        return sigObject;
    }
    AdvanceTicks(AWait.Timeout);
    return sigNone;
  }

  void SetConnected(bool AConnected) {
    FTables.Rows.clear();
    if (AConnected)
      FTables.Rows.push_back({platform::MibTcpStateEstab, 0x0100007F, 0x3930, ServerIp, 0x3D0D});
  }

  // The 32-bit millisecond counter moves on, wrapping as it does.
  void AdvanceTicks(uint32_t AMilliseconds) { FTicks.Set((FTicks.Milliseconds() + AMilliseconds) & 0xFFFFFFFF); }

  std::vector<std::string> LogText(TLogId AId) const {
    std::ifstream file(FLogsDir.LogFileName(AId, FClock.LocalNow()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
      lines.push_back(line);
    return lines;
  }
  size_t LogLines(TLogId AId) const { return LogText(AId).size(); }

  std::vector<uint32_t> FullWaitTimeouts() const {
    std::vector<uint32_t> timeouts;
    for (const TWait& wait : FOwner->Waits)
      if (!(wait.Indices == TSigSet{sigTerminate}))
        timeouts.push_back(wait.Timeout);
    return timeouts;
  }

  testing::TTempDir FDir;
  TLogsDir FLogsDir;
  testing::TFakeClock FClock;
  testing::TFakeTickSource FTicks;
  testing::TFakeIcmp FIcmp;
  testing::TFakePerfCounters FCounters;
  testing::TFakeResolver FResolver;
  testing::TFakeNetworkTables FTables;
  std::shared_ptr<TFakeMonThreadOwner> FOwner;
  std::vector<std::string> FTraces;
  std::vector<uint8_t> FNextAnswers;
  std::function<uint8_t()> FPollAnswer;
  int FWaitsLeft = 0;
  int FFullWaits = 0;
  bool FRequested = false;
};

TEST_F(MonThreadTest, SamplesEveryMonitorOnceASecondWhileConnected) {
  Run(3);
  EXPECT_EQ(FOwner->SettingsCalls, 1);
  // The stopwatch starts at 0, so the first cycle follows the settings at once.
  EXPECT_EQ(FullWaitTimeouts(), (std::vector<uint32_t>{0, 1000, 1000, 1000}));
  for (const TLogId id : AllLogIds)
    EXPECT_EQ(LogLines(id), 3u) << LogIdName(id);
  EXPECT_TRUE(FOwner->Errors.empty());
  EXPECT_EQ(FIcmp.Sends, 9);
  // Resolved once: the next resolution is a minute away.
  EXPECT_EQ(FResolver.Asked, std::vector<std::string>{"srv"});
}

TEST_F(MonThreadTest, WithinTheFirstMinuteOfTheSystemTheFirstCycleWaits) {
  FTicks.Set(20000);
  Run(1);
  EXPECT_EQ(FullWaitTimeouts().front(), 40000u);
}

TEST_F(MonThreadTest, WithoutAConnectionNothingIsSampled) {
  SetConnected(false);
  Run(3);
  EXPECT_EQ(FullWaitTimeouts(), (std::vector<uint32_t>{0, 60000, 60000, 60000}));
  EXPECT_FALSE(std::filesystem::exists(FLogsDir.Path()));
  EXPECT_EQ(FIcmp.Sends, 0);
  EXPECT_TRUE(FOwner->Errors.empty());
  // Resolved once a minute.
  EXPECT_EQ(FResolver.Asked.size(), 3u);
}

TEST_F(MonThreadTest, ANewServerIsResolvedInTheVeryNextCycle) {
  // A cycle, then new settings, then the next cycle a second later.
  FNextAnswers = {sigNone, sigSettings};
  FOwner->Answer = [this](const TWait& AWait) {
    if (FFullWaits == 1 && !(AWait.Indices == TSigSet{sigTerminate}))
      FOwner->Settings = {"srv:3389", true};
    return Answer(AWait);
  };
  Run(4);
  EXPECT_EQ(FResolver.Asked, (std::vector<std::string>{"srv", "srv"}));
  EXPECT_EQ(LogLines(TLogId::gateway), 3u);
}

TEST_F(MonThreadTest, PersistingErrorsAreMaskedAndReportedEveryCycle) {
  FIcmp.SetEcho(GatewayIp, TFakeEcho::Error(platform::IpDestHostUnreachable, 0));
  FIcmp.SetEcho(GoogleIp, TFakeEcho::Error(platform::IpDestHostUnreachable, 0));
  FCounters.PathAnswers[ProcessorTimeCounterPath] = testing::TFakePerfCounters::CollectFails(platform::PdhNoData);
  Run(55);
  // The pinger rule needs three errors, the counter rule more than 50.
  ASSERT_EQ(FOwner->Errors.size(), 53u);
  EXPECT_EQ(FOwner->Errors.front(), (TLogIds{TLogId::gateway}));
  EXPECT_EQ(FOwner->Errors.back(), (TLogIds{TLogId::gateway, TLogId::cpu}));
  EXPECT_TRUE(FTraces.empty());
}

TEST_F(MonThreadTest, WithoutARouterTheGatewaySampleIsEmptyAndHidesNothing) {
  // A default route on the link itself, as a VPN or PPP link has.
  FTables.Routes.clear();
  FTables.Route(ServerIp, platform::RouteTypeDirect, ServerIp);
  FTables.Route(GoogleIp, platform::RouteTypeDirect, GoogleIp);
  FIcmp.SetEcho(ServerIp, TFakeEcho::Error(platform::IpDestHostUnreachable, 0));
  FOwner->Answer = [this](const TWait& AWait) {
    // Then no route at all: that is a gateway problem again.
    if (FFullWaits == 6 && !(AWait.Indices == TSigSet{sigTerminate}))
      FTables.Routes.clear();
    return Answer(AWait);
  };
  Run(16);
  const std::vector<std::string> lines = LogText(TLogId::gateway);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_TRUE(lines.front().ends_with(" - \r")) << lines.front();
  EXPECT_NE(lines.back().find("No IP address"), std::string::npos) << lines.back();
  ASSERT_FALSE(FOwner->Errors.empty());
  EXPECT_EQ(FOwner->Errors.front(), (TLogIds{TLogId::rdp}));
  EXPECT_EQ(FOwner->Errors.back(), (TLogIds{TLogId::gateway}));
}

TEST_F(MonThreadTest, AnInternetProblemHidesTheServerProblem) {
  FIcmp.SetEcho(GoogleIp, TFakeEcho::Error(platform::IpDestHostUnreachable, 0));
  FIcmp.SetEcho(ServerIp, TFakeEcho::Error(platform::IpDestHostUnreachable, 0));
  Run(5);
  ASSERT_FALSE(FOwner->Errors.empty());
  for (const TLogIds errors : FOwner->Errors)
    EXPECT_EQ(errors, (TLogIds{TLogId::google}));
  EXPECT_TRUE(FTraces.empty());
}

TEST_F(MonThreadTest, AServerProblemStartsOneTraceAndOneReport) {
  FIcmp.SetEcho(ServerIp, TFakeEcho::Silent());
  FOwner->Settings = {"srv:3389", true};
  // The report request made while the trace runs starts nothing new.
  FOwner->Answer = [this](const TWait& AWait) {
    if (AWait.Obj != 0 && !FRequested) {
      FRequested = true;
      FNextAnswers = {sigCollectReport};
    }
    return Answer(AWait);
  };
  Run(8);
  ASSERT_FALSE(FTraces.empty());
  EXPECT_EQ(FTraces.front(), "srv");
  EXPECT_EQ(FOwner->Errors.front(), (TLogIds{TLogId::rdp}));
  ASSERT_GE(FOwner->Reports.size(), 1u);
  EXPECT_EQ(FTraces.size(), FOwner->Reports.size() + (FOwner->Waits.back().Obj != 0 ? 1 : 0));
  EXPECT_EQ(FTraces.size(), 1u);
  EXPECT_EQ(FOwner->Reports.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(FOwner->Reports.front()));
  bool traceWaitedFor = false;
  for (const TWait& wait : FOwner->Waits)
    traceWaitedFor = traceWaitedFor || wait.Obj != 0;
  EXPECT_TRUE(traceWaitedFor);
}

TEST_F(MonThreadTest, AnOutageIsTracedOnceAndAtMostEveryHalfHourWhileUserRequestsAlwaysRun) {
  const TFakeEcho down = TFakeEcho::Error(platform::IpDestHostUnreachable, 0);
  FIcmp.SetEcho(ServerIp, down);
  size_t tracesBeforeTheInterval = 0;
  FOwner->Answer = [&](const TWait& AWait) {
    if (!(AWait.Indices == TSigSet{sigTerminate})) {
      // The first outage lasts; its verdicts age out about 100 cycles after
      // the server is back. A second outage follows two minutes after the
      // first trace and waits until half an hour has passed; then the user
      // asks for a report during it.
      if (FFullWaits == 20)
        FIcmp.SetEcho(ServerIp, TFakeEcho::Reply(0));
      if (FFullWaits == 130)
        FIcmp.SetEcho(ServerIp, down);
      if (FFullWaits == 150) {
        tracesBeforeTheInterval = FTraces.size();
        AdvanceTicks(30 * 60 * 1000);
      }
      if (FFullWaits == 170)
        FNextAnswers = {sigCollectReport};
    }
    return Answer(AWait);
  };
  Run(190);
  EXPECT_EQ(tracesBeforeTheInterval, 1u);
  EXPECT_EQ(FTraces.size(), 3u);
  EXPECT_EQ(FOwner->Reports.size(), 3u);
}

TEST_F(MonThreadTest, AReportRequestRunsTheTraceWithoutLoggingTheServer) {
  FOwner->Settings = {"srv", false};
  FIcmp.SetEcho(ServerIp, TFakeEcho::Silent());
  FNextAnswers = {sigNone, sigCollectReport};
  Run(6);
  EXPECT_EQ(FTraces, std::vector<std::string>{"srv"});
  ASSERT_EQ(FOwner->Reports.size(), 1u);
  // Gateway and resolver only, in every cycle.
  EXPECT_EQ(static_cast<size_t>(FIcmp.Sends), 2 * LogLines(TLogId::gateway));
  EXPECT_EQ(LogLines(TLogId::rdp), 0u);
  EXPECT_GT(LogLines(TLogId::gateway), 0u);
  for (const TLogIds errors : FOwner->Errors)
    EXPECT_FALSE(errors.Contains(TLogId::rdp));
}

TEST_F(MonThreadTest, TerminationInACycleStillReportsWhatWasFound) {
  FIcmp.SetEcho(GatewayIp, TFakeEcho::Error(platform::IpDestHostUnreachable, 0));
  int polls = 0;
  // Cycles 1 to 3 poll before each of six monitors; cycle 4 stops before the second.
  FPollAnswer = [&] { return ++polls == 20 ? sigTerminate : sigNone; };
  FOwner->Answer = [this, &polls](const TWait& AWait) { return polls >= 20 ? sigTerminate : Answer(AWait); };
  Run(10);
  EXPECT_EQ(LogLines(TLogId::gateway), 4u);
  EXPECT_EQ(LogLines(TLogId::google), 3u);
  ASSERT_EQ(FOwner->Errors.size(), 2u);
  EXPECT_EQ(FOwner->Errors.back(), (TLogIds{TLogId::gateway}));
}

TEST_F(MonThreadTest, ANewConnectionEmptiesEveryHistory) {
  FIcmp.SetEcho(GatewayIp, TFakeEcho::Error(platform::IpDestHostUnreachable, 0));
  // Three cycles make the gateway problem persist; then the connection is
  // gone for a minute and comes back.
  FOwner->Answer = [this](const TWait& AWait) {
    if (!(AWait.Indices == TSigSet{sigTerminate})) {
      if (FFullWaits == 3)
        SetConnected(false);
      if (FFullWaits == 64)
        SetConnected(true);
    }
    return Answer(AWait);
  };
  Run(68);
  // Reported in cycle 3 and while the connection closing went unnoticed, then
  // not again until three fresh errors after the reconnection.
  EXPECT_EQ(FOwner->Errors.size(), 58u + 2u);
}

TEST_F(MonThreadTest, AfterATickWrapTheWaitIsZeroAndTargetsAreResolvedAgain) {
  FIcmp.SetEcho(GoogleIp, TFakeEcho::Silent());
  FTicks.Set(0xFFFFFFFFLL - 2000);
  Run(2);
  // The first cycle's pings time out across the wrap.
  const std::vector<uint32_t> timeouts = FullWaitTimeouts();
  ASSERT_GE(timeouts.size(), 2u);
  EXPECT_EQ(timeouts[1], 0u);
  EXPECT_EQ(FResolver.Asked.size(), 2u);
}

TEST_F(MonThreadTest, APortOutOfRangeEndsTheLoop) {
  FOwner->Settings = {"srv:70000", true};
  EXPECT_TRUE(testing::Raises<ERangeError>([this] { Run(3); }, "Port is out of range (70000)"));
}

TEST_F(MonThreadTest, TheEndOfATraceWithoutATraceIsAFault) {
  FNextAnswers = {sigObject};
  EXPECT_THROW(Run(3), EAssertionFailed);
}

}  // namespace
}  // namespace orvella
