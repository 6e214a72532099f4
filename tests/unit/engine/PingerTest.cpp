#include "engine/Pinger.h"

#include <gtest/gtest.h>

#include "engine/IpError.h"
#include "platform/Exceptions.h"
#include "platform/SystemError.h"
#include "tests/support/ExpectError.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeIcmp.h"
#include "tests/support/FakeTickSource.h"
#include "tests/support/LogReader.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using testing::TFakeEcho;

constexpr uint32_t Ip(uint8_t A, uint8_t B, uint8_t C, uint8_t D) {
  return uint32_t(A) | uint32_t(B) << 8 | uint32_t(C) << 16 | uint32_t(D) << 24;
}

constexpr uint32_t Gateway = Ip(192, 168, 1, 1);
constexpr uint32_t Dns = Ip(8, 8, 8, 8);
constexpr uint32_t Server = Ip(10, 0, 0, 5);

class PingerTest : public ::testing::Test {
protected:
  PingerTest() : Day(EncodeDate(2026, 12, 9)), Clock(Day + 0.5), Icmp(Ticks), LogsDir(Temp.Path()) {
    Ticks.Set(100000);
  }

  std::unique_ptr<TPinger> MakePinger(TLogId AId, uint32_t AIp, const std::string& ADescr) {
    auto pinger = std::make_unique<TPinger>(AId, LogsDir, Clock, Icmp, Ticks);
    pinger->SetIp(AIp);
    pinger->SetIpDescr(ADescr);
    return pinger;
  }

  // One monitoring cycle of one pinger; true when its problem persists.
  bool Cycle(TPinger& APinger) {
    TPinger* list[] = {&APinger};
    TPinger::BeginPing(list, -1);
    return !APinger.LogNewValue();
  }

  std::string LastLine(TLogId AId) {
    const auto lines = testing::ReadLogLines(LogsDir, AId, Day);
    return lines.empty() ? std::string() : lines.back();
  }

  // The part of a log line after the time stamp.
  std::string LastText(TLogId AId) {
    const std::string line = LastLine(AId);
    const size_t dash = line.find(" - ");
    return dash == std::string::npos ? line : line.substr(dash + 3);
  }

  const TDateTime Day;
  testing::TTempDir Temp;
  testing::TFakeClock Clock;
  testing::TFakeTickSource Ticks;
  testing::TFakeIcmp Icmp;
  TLogsDir LogsDir;
};

TEST_F(PingerTest, ReplyIsLoggedWithItsAddressSizeRttAndTtl) {
  Icmp.SetEcho(Gateway, TFakeEcho::Reply(3, 64));
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  EXPECT_FALSE(Cycle(*pinger));
  EXPECT_EQ(LastText(TLogId::gateway),
            "Ping gateway (192.168.1.1): Timeout=4000ms MaxValue=150ms DataSize=1000. "
            "Reply from 192.168.1.1: DataSize=1000 RTT=3ms TTL=64");
}

TEST_F(PingerTest, RoundTripOf150IsOkAndAbove150IsOutOfBounds) {
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  Icmp.SetEcho(Gateway, TFakeEcho::Reply(150));
  for (int i = 0; i < 5; ++i)
    EXPECT_FALSE(Cycle(*pinger));
  pinger->SetIp(Server);  // a fresh history
  Icmp.SetEcho(Server, TFakeEcho::Reply(151));
  EXPECT_FALSE(Cycle(*pinger));
  EXPECT_FALSE(Cycle(*pinger));
  EXPECT_TRUE(Cycle(*pinger));  // three out of bounds among the oldest 20
  EXPECT_NE(LastText(TLogId::gateway).find("RTT=151ms"), std::string::npos);
}

TEST_F(PingerTest, SilentTargetTimesOutAfterOneWaitAndItsPacketIsReused) {
  Icmp.SetEcho(Gateway, TFakeEcho::Silent(50));
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  const int64_t start = Ticks.Milliseconds();
  Cycle(*pinger);
  EXPECT_EQ(Ticks.Milliseconds() - start, 4000);
  EXPECT_EQ(Icmp.Waits, std::vector<uint32_t>{4000});
  EXPECT_EQ(LastText(TLogId::gateway),
            "Ping gateway (192.168.1.1): Timeout=4000ms MaxValue=150ms DataSize=1000. Time is out");

  // The parked request completes late; the next cycle takes its packet back.
  Ticks.Advance(1000);
  Icmp.SetEcho(Gateway, TFakeEcho::Reply(5));
  Cycle(*pinger);
  EXPECT_NE(LastText(TLogId::gateway).find("RTT=5ms"), std::string::npos);
  EXPECT_EQ(Icmp.Created, 1);
}

TEST_F(PingerTest, ParkedPacketStillOutstandingMakesANewOneAndIsReleasedLater) {
  Icmp.SetEcho(Gateway, TFakeEcho::Silent(3000));
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  Cycle(*pinger);
  Icmp.SetEcho(Gateway, TFakeEcho::Reply(2));
  Cycle(*pinger);  // the first request is still outstanding at the platform
  EXPECT_EQ(Icmp.Created, 2);
  EXPECT_EQ(Icmp.Open, 2);
  Ticks.Advance(5000);
  Cycle(*pinger);  // now it has completed and goes
  EXPECT_EQ(Icmp.Open, 1);
  EXPECT_NE(LastText(TLogId::gateway).find("RTT=2ms"), std::string::npos);
}

TEST_F(PingerTest, ThreeSilentTargetsCostOneWait) {
  auto a = MakePinger(TLogId::gateway, Gateway, "gateway");
  auto b = MakePinger(TLogId::google, Dns, "google DNS");
  auto c = MakePinger(TLogId::rdp, Server, "server");
  std::vector<std::unique_ptr<TMonLog>> list;
  list.push_back(std::move(a));
  list.push_back(std::move(b));
  list.push_back(std::move(c));
  const int64_t start = Ticks.Milliseconds();
  TPinger::BeginPing(list, -1);
  for (auto& monitor : list)
    monitor->LogNewValue();
  EXPECT_EQ(Ticks.Milliseconds() - start, 4000);
  EXPECT_EQ(Icmp.Waits, std::vector<uint32_t>{4000});
  for (TLogId id : {TLogId::gateway, TLogId::google, TLogId::rdp})
    EXPECT_NE(LastText(id).find("Time is out"), std::string::npos) << LogIdName(id);
}

TEST_F(PingerTest, TimeoutCompletionSeenFirstGivesTheTimeoutStatusText) {
  Icmp.SetEcho(Gateway, TFakeEcho::Silent(0));
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  Cycle(*pinger);
  EXPECT_NE(LastText(TLogId::gateway).find(" " + IpErrorText(platform::IpReqTimedOut)), std::string::npos);
  EXPECT_NE(LastText(TLogId::gateway).find("Error 11010: "), std::string::npos);
}

TEST_F(PingerTest, IcmpErrorGivesItsStatusText) {
  Icmp.SetEcho(Gateway, TFakeEcho::Error(platform::IpDestHostUnreachable));
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  Cycle(*pinger);
  EXPECT_EQ(LastText(TLogId::gateway), "Ping gateway (192.168.1.1): Timeout=4000ms MaxValue=150ms DataSize=1000. " +
                                           IpErrorText(platform::IpDestHostUnreachable));
}

TEST_F(PingerTest, FailureTexts) {
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  pinger->LogNewValue();
  EXPECT_NE(LastText(TLogId::gateway).find(". BeginPing was not called"), std::string::npos);

  auto none = MakePinger(TLogId::google, 0, "google DNS");
  TPinger* only[] = {none.get()};
  TPinger::BeginPing(only, -1);
  EXPECT_TRUE(Icmp.Waits.empty());  // nothing to wait for
  none->LogNewValue();
  EXPECT_EQ(LastText(TLogId::google),
            "Ping google DNS (0.0.0.0): Timeout=4000ms MaxValue=150ms DataSize=1000. No IP address");

  Icmp.SetEcho(Gateway, TFakeEcho::SendFails(0, 5));
  Cycle(*pinger);
  EXPECT_NE(LastText(TLogId::gateway).find(". " + IpErrorText(5)), std::string::npos);
  Icmp.SetEcho(Gateway, TFakeEcho::SendFails(1, 5));
  Cycle(*pinger);
  EXPECT_NE(LastText(TLogId::gateway).find(". Unexpected return value 1 (" + IpErrorText(5) + ")"),
            std::string::npos);
}

TEST_F(PingerTest, HandleThatCannotBeOpenedGivesTheExceptionText) {
  Icmp.FailCreate(13);
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  Cycle(*pinger);
  EXPECT_NE(LastText(TLogId::gateway).find(". EOSError: " + IpErrorText(13)), std::string::npos);
  EXPECT_EQ(Icmp.Open, 0);
}

TEST_F(PingerTest, SecondSendWithoutConsumingTheFirstIsRefused) {
  Icmp.SetEcho(Gateway, TFakeEcho::Silent());
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  TPinger* list[] = {pinger.get()};
  TPinger::BeginPing(list, -1);
  Icmp.SetEcho(Gateway, TFakeEcho::Silent(100000));
  TPinger::BeginPing(list, -1);  // no sample taken in between, request still outstanding
  pinger->LogNewValue();
  EXPECT_NE(LastText(TLogId::gateway).find(". The packet was already sent"), std::string::npos);
}

TEST_F(PingerTest, ExceptedPingerAndOtherMonitorsAreSkipped) {
  Icmp.SetEcho(Gateway, TFakeEcho::Reply(1));
  Icmp.SetEcho(Server, TFakeEcho::Reply(1));
  auto gateway = MakePinger(TLogId::gateway, Gateway, "gateway");
  auto server = MakePinger(TLogId::rdp, Server, "server");
  TMonLog* list[] = {gateway.get(), server.get()};
  TPinger::BeginPing(list, static_cast<int>(TLogId::rdp));
  EXPECT_EQ(Icmp.Sends, 1);
  TMonLog* nothing[] = {server.get()};
  TPinger::BeginPing(nothing, static_cast<int>(TLogId::rdp));
  EXPECT_EQ(Icmp.Waits.size(), 1u);
}

TEST_F(PingerTest, SettingTheSameAddressKeepsTheVerdicts) {
  Icmp.SetEcho(Gateway, TFakeEcho::Error(platform::IpDestHostUnreachable));
  Icmp.SetEcho(Server, TFakeEcho::Error(platform::IpDestHostUnreachable));
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  EXPECT_FALSE(Cycle(*pinger));
  EXPECT_FALSE(Cycle(*pinger));
  pinger->SetIp(Gateway);
  EXPECT_TRUE(Cycle(*pinger));
  pinger->SetIp(Server);
  EXPECT_FALSE(Cycle(*pinger));
  EXPECT_FALSE(Cycle(*pinger));
}

class PingerPersistenceTest : public PingerTest {
protected:
  void SetUp() override { FPinger = MakePinger(TLogId::gateway, Gateway, "gateway"); }
  // One sample of the kind given: 'o' Ok, 'b' out of bounds, 'e' error.
  bool Sample(char AKind) {
    if (AKind == 'o')
      Icmp.SetEcho(Gateway, TFakeEcho::Reply(10));
    else if (AKind == 'b')
      Icmp.SetEcho(Gateway, TFakeEcho::Reply(200));
    else
      Icmp.SetEcho(Gateway, TFakeEcho::Error(platform::IpDestNetUnreachable));
    return Cycle(*FPinger);
  }
  bool Samples(const std::string& AKinds) {
    bool persists = false;
    for (const char kind : AKinds)
      persists = Sample(kind);
    return persists;
  }
  std::unique_ptr<TPinger> FPinger;
};

TEST_F(PingerPersistenceTest, TwoErrorsAndTwoSlowRepliesAmongTheOldestAreTolerated) {
  EXPECT_FALSE(Samples("ebeb" + std::string(40, 'o')));
  EXPECT_TRUE(Sample('e'));
}

TEST_F(PingerPersistenceTest, ThirdSlowReplyAmongTheOldestTwenty) {
  EXPECT_FALSE(Samples("bb" + std::string(17, 'o')));
  EXPECT_TRUE(Sample('b'));  // position 19
}

TEST_F(PingerPersistenceTest, SlowRepliesBeyondTheOldestTwentyNeedTen) {
  EXPECT_FALSE(Samples(std::string(20, 'o') + std::string(9, 'b')));
  EXPECT_TRUE(Sample('b'));
}

TEST_F(PingerPersistenceTest, OldVerdictsLeaveTheWindow) {
  EXPECT_TRUE(Samples("ee" + std::string(30, 'o') + "e"));
  // 100 samples later the three errors are gone.
  EXPECT_FALSE(Samples(std::string(100, 'o')));
}

TEST_F(PingerTest, DestroyingAPingerWaitsForItsOutstandingRequests) {
  Icmp.SetEcho(Gateway, TFakeEcho::Silent(3000));
  auto pinger = MakePinger(TLogId::gateway, Gateway, "gateway");
  Cycle(*pinger);
  EXPECT_EQ(Icmp.Open, 1);
  const int64_t parked = Ticks.Milliseconds();
  pinger.reset();
  // The parked request was waited for until the platform completed it.
  EXPECT_EQ(Ticks.Milliseconds() - parked, 3000);
  EXPECT_EQ(Icmp.Open, 0);
  EXPECT_EQ(Icmp.OpenEvents(), 0);
}

TEST_F(PingerTest, PacketGivesNoReplyWhileItsRequestIsOutstanding) {
  Icmp.SetEcho(Gateway, TFakeEcho::Reply(30));
  TPinger::TPacket packet(Icmp);
  EXPECT_TRUE(packet.WaitAndReset(0));  // nothing sent: nothing to wait for
  EXPECT_EQ(packet.Send(Gateway, 4000), "");
  EXPECT_EQ(packet.ParseReply(), "No reply available");
  EXPECT_FALSE(packet.WaitAndReset(10));
  EXPECT_TRUE(packet.WaitAndReset(100));
  EXPECT_EQ(packet.ParseReply(), "");
  EXPECT_EQ(packet.Rtt(), 30);
  EXPECT_EQ(packet.ReplyIp(), Gateway);
  EXPECT_EQ(packet.ReplyDataSize(), 1000);
}

TEST(IpErrorTextTest, IpStatusesUseTheirTextOtherCodesTheSystemMessage) {
  EXPECT_EQ(IpErrorText(11010), "Error 11010: The request timed out.");
  EXPECT_EQ(IpErrorText(11003), "Error 11003: The destination host was unreachable.");
  EXPECT_EQ(IpErrorText(5), "Error 5: " + platform::SysErrorMessage(5));
  EXPECT_FALSE(platform::SysErrorMessage(5).empty());
  // A code in the range without a text of its own falls back to the system's.
  EXPECT_EQ(IpErrorText(11047), "Error 11047: " + platform::SysErrorMessage(11047));
}

TEST(IpErrorTextTest, RaiseIpErrorCarriesCodeAndText) {
  EXPECT_TRUE(testing::RaisesOSError([] { RaiseIpError(11002); }, 11002,
                                     "Error 11002: The destination network was unreachable."));
}

}  // namespace
}  // namespace orvella
