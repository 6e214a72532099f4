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

#include "engine/Signals.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonThreadOwner.h"
#include "tests/support/FakeTickSource.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using testing::TFakeMonThreadOwner;
using TWait = TFakeMonThreadOwner::TWait;

const uint32_t GatewayIp = platform::InetAddr("10.0.0.1");
const uint32_t ServerIp = platform::InetAddr("192.0.2.10");
constexpr uint32_t GoogleIp = 0x08080808;

// Echo replies at once, by destination: an answer, an error status, or none.
class TFakeIcmp final : public platform::IIcmp {
public:
  enum class TBehaviour { Answer, Unreachable, Silent };
  std::map<uint32_t, TBehaviour> Targets;
  std::map<uint32_t, int> Sent;

  explicit TFakeIcmp(testing::TFakeTickSource& ATicks) : FTicks(ATicks) {}

  platform::TIcmpCreateResult IcmpCreateFile() override { return {1, 0}; }
  void IcmpCloseHandle(platform::TOsHandle) override {}
  platform::TIcmpSendResult IcmpSendEcho2(platform::TOsHandle, platform::TOsHandle AEvent, uint32_t ADestination,
                                          const void*, uint16_t ADataSize, void* AReply, uint32_t,
                                          uint32_t) override {
    ++Sent[ADestination];
    const TBehaviour behaviour = Targets.count(ADestination) ? Targets[ADestination] : TBehaviour::Answer;
    if (behaviour != TBehaviour::Silent) {
      platform::Ticmp_echo_reply reply{};
      reply.Address = ADestination;
      reply.Status = behaviour == TBehaviour::Answer ? platform::IpSuccess : platform::IpDestHostUnreachable;
      reply.RoundTripTime = 12;
      reply.DataSize = ADataSize;
      reply.Options.Ttl = 64;
      std::memcpy(AReply, &reply, sizeof reply);
      FEvents[AEvent] = true;
    }
    return {0, platform::ErrorIoPending};
  }
  platform::TIcmpParseResult IcmpParseReplies(void*, uint32_t) override { return {1, 0}; }
  platform::TOsHandle CreateEvent(uint32_t&) override {
    FEvents[++FLastEvent] = false;
    return FLastEvent;
  }
  void ResetEvent(platform::TOsHandle AEvent) override { FEvents[AEvent] = false; }
  void CloseEvent(platform::TOsHandle AEvent) override { FEvents.erase(AEvent); }
  uint32_t WaitForSingleObject(platform::TOsHandle AEvent, uint32_t ATimeout) override {
    // A silent request completes at its own deadline.
    return FEvents[AEvent] || ATimeout == platform::Infinite ? platform::WaitObject0 : platform::WaitTimeout;
  }
  uint32_t WaitForAllObjects(std::span<const platform::TOsHandle> AEvents, uint32_t ATimeout) override {
    for (const platform::TOsHandle event : AEvents)
      if (!FEvents[event]) {
        AdvanceTicks(FTicks, ATimeout);
        return platform::WaitTimeout;
      }
    return platform::WaitObject0;
  }

  // The 32-bit millisecond counter moves on, wrapping as it does.
  static void AdvanceTicks(testing::TFakeTickSource& ATicks, uint32_t AMilliseconds) {
    ATicks.Set((ATicks.Milliseconds() + AMilliseconds) & 0xFFFFFFFF);
  }

private:
  testing::TFakeTickSource& FTicks;
  std::map<platform::TOsHandle, bool> FEvents;
  platform::TOsHandle FLastEvent = 100;
};

// Counters that answer a value per kind; a failing collection is an error sample.
class TFakeCounters final : public platform::IPerfCounters {
public:
  double Cpu = 10;
  double AvailableBytes = 4e9;
  double DiskQueue = 0.5;
  bool CpuFails = false;

  platform::TPdhStatus PdhOpenQuery(platform::TOsHandle& AQuery) override {
    AQuery = ++FLast;
    return 0;
  }
  platform::TPdhStatus PdhAddEnglishCounter(platform::TOsHandle AQuery, const std::string& APath,
                                            platform::TOsHandle& ACounter) override {
    ACounter = AQuery;
    FPaths[AQuery] = APath;
    return 0;
  }
  platform::TPdhStatus PdhCollectQueryData(platform::TOsHandle AQuery) override {
    return CpuFails && IsCpu(AQuery) ? platform::PdhNoData : 0;
  }
  platform::TPdhStatus PdhGetFormattedCounterValue(platform::TOsHandle ACounter,
                                                   platform::TPdhFmtCounterValue& AValue) override {
    const std::string& path = FPaths[ACounter];
    AValue.CStatus = 0;
    AValue.DoubleValue = IsCpu(ACounter) ? Cpu : path.find("Memory") != std::string::npos ? AvailableBytes : DiskQueue;
    return 0;
  }
  void PdhCloseQuery(platform::TOsHandle) override {}
  bool TotalPhysicalMemory(uint64_t& ABytes, int&) override {
    ABytes = 8000000000;
    return true;
  }

private:
  bool IsCpu(platform::TOsHandle AQuery) { return FPaths[AQuery].find("Processor") != std::string::npos; }
  platform::TOsHandle FLast = 0;
  std::map<platform::TOsHandle, std::string> FPaths;
};

class TFakeResolver final : public platform::IResolver {
public:
  std::map<std::string, std::string> Hosts = {{"srv", "192.0.2.10"}};
  std::vector<std::string> Asked;
  std::string ResolveIPv4(const std::string& AHost) override {
    Asked.push_back(AHost);
    if (!Hosts.count(AHost))
      throw EOSError(-2, "Name or service not known");
    return Hosts[AHost];
  }
};

// Routes through the gateway; a TCP table with or without the connection to the server.
class TFakeTables final : public platform::INetworkTables {
public:
  bool Connected = true;
  uint32_t GetBestRoute(uint32_t, uint32_t, platform::TIpForwardRow& ARoute) override {
    ARoute.ForwardType = platform::RouteTypeIndirect;
    ARoute.ForwardNextHop = GatewayIp;
    return 0;
  }
  uint32_t GetTcpTable(platform::TMibTcpTable* ATable, uint32_t& ASize, bool) override {
    const uint32_t needed = sizeof(uint32_t) + sizeof(platform::TMibTcpRow);
    if (ATable == nullptr || ASize < needed) {
      ASize = needed;
      return platform::ErrorInsufficientBuffer;
    }
    ATable->NumEntries = Connected ? 1 : 0;
    ATable->Table[0] = {platform::MibTcpStateEstab, 0x0100007F, 0x3930, ServerIp, 0x3D0D};
    return 0;
  }
};

class MonThreadTest : public ::testing::Test {
protected:
  MonThreadTest()
      : FLogsDir(FDir / "Logs"),
        FClock(EncodeDate(2021, 4, 19) + EncodeTime(12, 0, 0, 0)),
        FTicks(1000000),
        FIcmp(FTicks),
        FOwner(std::make_shared<TFakeMonThreadOwner>()) {
    FOwner->Settings = {"srv", true};
    FOwner->Answer = [this](const TWait& AWait) { return Answer(AWait); };
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
    TFakeIcmp::AdvanceTicks(FTicks, AWait.Timeout);
    return sigNone;
  }

  size_t LogLines(TLogId AId) const {
    std::ifstream file(FLogsDir.LogFileName(AId, FClock.LocalNow()));
    size_t lines = 0;
    for (std::string line; std::getline(file, line);)
      ++lines;
    return lines;
  }

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
  TFakeIcmp FIcmp;
  TFakeCounters FCounters;
  TFakeResolver FResolver;
  TFakeTables FTables;
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
  EXPECT_EQ(FIcmp.Sent[GatewayIp], 3);
  EXPECT_EQ(FIcmp.Sent[GoogleIp], 3);
  EXPECT_EQ(FIcmp.Sent[ServerIp], 3);
  // Resolved once: the next resolution is a minute away.
  EXPECT_EQ(FResolver.Asked, std::vector<std::string>{"srv"});
}

TEST_F(MonThreadTest, WithinTheFirstMinuteOfTheSystemTheFirstCycleWaits) {
  FTicks.Set(20000);
  Run(1);
  EXPECT_EQ(FullWaitTimeouts().front(), 40000u);
}

TEST_F(MonThreadTest, WithoutAConnectionNothingIsSampled) {
  FTables.Connected = false;
  Run(3);
  EXPECT_EQ(FullWaitTimeouts(), (std::vector<uint32_t>{0, 60000, 60000, 60000}));
  EXPECT_FALSE(std::filesystem::exists(FLogsDir.Path()));
  EXPECT_TRUE(FIcmp.Sent.empty());
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
  FIcmp.Targets[GatewayIp] = TFakeIcmp::TBehaviour::Unreachable;
  FIcmp.Targets[GoogleIp] = TFakeIcmp::TBehaviour::Unreachable;
  FCounters.CpuFails = true;
  Run(55);
  // The pinger rule needs three errors, the counter rule more than 50.
  ASSERT_EQ(FOwner->Errors.size(), 53u);
  EXPECT_EQ(FOwner->Errors.front(), (TLogIds{TLogId::gateway}));
  EXPECT_EQ(FOwner->Errors.back(), (TLogIds{TLogId::gateway, TLogId::cpu}));
  EXPECT_TRUE(FTraces.empty());
}

TEST_F(MonThreadTest, AnInternetProblemHidesTheServerProblem) {
  FIcmp.Targets[GoogleIp] = TFakeIcmp::TBehaviour::Unreachable;
  FIcmp.Targets[ServerIp] = TFakeIcmp::TBehaviour::Unreachable;
  Run(5);
  ASSERT_FALSE(FOwner->Errors.empty());
  for (const TLogIds errors : FOwner->Errors)
    EXPECT_EQ(errors, (TLogIds{TLogId::google}));
  EXPECT_TRUE(FTraces.empty());
}

TEST_F(MonThreadTest, AServerProblemStartsOneTraceAndOneReport) {
  FIcmp.Targets[ServerIp] = TFakeIcmp::TBehaviour::Silent;
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
  EXPECT_TRUE(std::filesystem::exists(FOwner->Reports.front()));
  bool traceWaitedFor = false;
  for (const TWait& wait : FOwner->Waits)
    traceWaitedFor = traceWaitedFor || wait.Obj != 0;
  EXPECT_TRUE(traceWaitedFor);
}

TEST_F(MonThreadTest, AReportRequestRunsTheTraceWithoutLoggingTheServer) {
  FOwner->Settings = {"srv", false};
  FIcmp.Targets[ServerIp] = TFakeIcmp::TBehaviour::Silent;
  FNextAnswers = {sigNone, sigCollectReport};
  Run(6);
  EXPECT_EQ(FTraces, std::vector<std::string>{"srv"});
  ASSERT_EQ(FOwner->Reports.size(), 1u);
  EXPECT_EQ(FIcmp.Sent.count(ServerIp), 0u);
  EXPECT_EQ(LogLines(TLogId::rdp), 0u);
  EXPECT_GT(LogLines(TLogId::gateway), 0u);
  for (const TLogIds errors : FOwner->Errors)
    EXPECT_FALSE(errors.Contains(TLogId::rdp));
}

TEST_F(MonThreadTest, TerminationInACycleStillReportsWhatWasFound) {
  FIcmp.Targets[GatewayIp] = TFakeIcmp::TBehaviour::Unreachable;
  int polls = 0;
  // Cycles 1 to 3 poll before each of six monitors; cycle 4 stops before the second.
  FPollAnswer = [&] { return ++polls == 20 ? sigTerminate : sigNone; };
  FOwner->Answer = [this, &polls](const TWait& AWait) {
    return polls >= 20 ? sigTerminate : Answer(AWait);
  };
  Run(10);
  EXPECT_EQ(LogLines(TLogId::gateway), 4u);
  EXPECT_EQ(LogLines(TLogId::google), 3u);
  ASSERT_EQ(FOwner->Errors.size(), 2u);
  EXPECT_EQ(FOwner->Errors.back(), (TLogIds{TLogId::gateway}));
}

TEST_F(MonThreadTest, ANewConnectionEmptiesEveryHistory) {
  FIcmp.Targets[GatewayIp] = TFakeIcmp::TBehaviour::Unreachable;
  // Three cycles make the gateway problem persist; then the connection is
  // gone for a minute and comes back.
  FOwner->Answer = [this](const TWait& AWait) {
    if (!(AWait.Indices == TSigSet{sigTerminate})) {
      if (FFullWaits == 3)
        FTables.Connected = false;
      if (FFullWaits == 64)
        FTables.Connected = true;
    }
    return Answer(AWait);
  };
  Run(68);
  // Reported in cycle 3 and while the connection closing went unnoticed, then
  // not again until three fresh errors after the reconnection.
  EXPECT_EQ(FOwner->Errors.size(), 58u + 2u);
}

TEST_F(MonThreadTest, AfterATickWrapTheWaitIsZeroAndTargetsAreResolvedAgain) {
  FIcmp.Targets[GoogleIp] = TFakeIcmp::TBehaviour::Silent;
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
  try {
    Run(3);
    FAIL() << "the loop went on";
  } catch (const ERangeError& error) {
    EXPECT_STREQ(error.what(), "Port is out of range (70000)");
  }
}

TEST_F(MonThreadTest, TheEndOfATraceWithoutATraceIsAFault) {
  FNextAnswers = {sigObject};
  EXPECT_THROW(Run(3), EAssertionFailed);
}

}  // namespace
}  // namespace orvella
