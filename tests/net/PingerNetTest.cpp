#include "engine/Pinger.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "platform/linux/Icmp.h"
#include "tests/net/NetLab.h"
#include "tests/support/LogReader.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using testing::TEchoRule;
using testing::TNetLab;

class PingerNetTest : public ::testing::TestWithParam<platform::TIcmpSocketKind> {
protected:
  void SetUp() override {
    const std::string reason = TNetLab::SkipReason();
    if (!reason.empty())
      GTEST_SKIP() << reason;
    Lab = std::make_unique<TNetLab>();
    InClient = std::make_unique<TNetLab::TEnter>(*Lab, TNetLab::THost::Client);
    Icmp = std::make_unique<platform::TLinuxIcmp>(GetParam());
    const platform::TIcmpCreateResult probe = Icmp->IcmpCreateFile();
    ASSERT_NE(probe.Handle, platform::InvalidIcmpHandle);
    EXPECT_EQ(Icmp->IsRaw(probe.Handle), GetParam() == platform::TIcmpSocketKind::Raw);
    Icmp->IcmpCloseHandle(probe.Handle);
  }

  void TearDown() override {
    Pingers.clear();
    Icmp.reset();
    InClient.reset();
    Lab.reset();
  }

  TPinger& Add(TLogId AId, const std::string& AIp, const std::string& ADescr) {
    auto pinger = std::make_unique<TPinger>(AId, LogsDir, platform::SystemClock(), *Icmp);
    pinger->SetIp(inet_addr(AIp.c_str()));
    pinger->SetIpDescr(ADescr);
    TPinger& result = *pinger;
    Pingers.push_back(std::move(pinger));
    return result;
  }

  // One cycle over all pingers: the milliseconds BeginPing took.
  int64_t Cycle() {
    const auto start = std::chrono::steady_clock::now();
    TPinger::BeginPing(Pingers, -1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Persists.clear();
    for (auto& pinger : Pingers)
      Persists.push_back(!pinger->LogNewValue());
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  }

  // The part of the pinger's last log line after its head.
  std::string LastReply(TLogId AId) {
    const auto lines = testing::ReadLogLines(LogsDir, AId, DateOf(platform::SystemClock().LocalNow()));
    if (lines.empty())
      return {};
    const size_t dot = lines.back().find("DataSize=1000. ");
    return dot == std::string::npos ? lines.back() : lines.back().substr(dot + 15);
  }

  static int RttOf(const std::string& AReply) {
    std::smatch match;
    const std::regex rtt("RTT=(\\d+)ms");
    return std::regex_search(AReply, match, rtt) ? std::stoi(match[1]) : -1;
  }

  std::unique_ptr<TNetLab> Lab;
  std::unique_ptr<TNetLab::TEnter> InClient;
  std::unique_ptr<platform::TLinuxIcmp> Icmp;
  testing::TTempDir Temp;
  TLogsDir LogsDir{Temp.Path()};
  std::vector<std::unique_ptr<TMonLog>> Pingers;
  std::vector<bool> Persists;
};

TEST_P(PingerNetTest, SlowGatewayIsLoggedWithItsRttAndJudgedOutOfBounds) {
  Lab->SetEcho(TNetLab::GatewayIp, TEchoRule::Reply(200));
  Add(TLogId::gateway, TNetLab::GatewayIp, "gateway");
  for (int i = 0; i < 2; ++i) {
    Cycle();
    EXPECT_FALSE(Persists[0]);
  }
  Cycle();
  EXPECT_TRUE(Persists[0]);  // the third slow reply among the oldest
  const std::string reply = LastReply(TLogId::gateway);
  EXPECT_EQ(reply.rfind("Reply from 10.77.1.1: DataSize=1000 RTT=", 0), 0u) << reply;
  EXPECT_GE(RttOf(reply), 200) << reply;
  EXPECT_LT(RttOf(reply), 400) << reply;
  EXPECT_NE(reply.find("TTL=64"), std::string::npos) << reply;
}

TEST_P(PingerNetTest, PromptAnswersAreOkAndTheTtlShowsTheRouter) {
  Add(TLogId::gateway, TNetLab::GatewayIp, "gateway");
  Add(TLogId::google, TNetLab::DnsIp, "google DNS");
  for (int i = 0; i < 3; ++i) {
    EXPECT_LT(Cycle(), 1000);
    EXPECT_EQ(Persists, (std::vector<bool>{false, false}));
  }
  const std::string gateway = LastReply(TLogId::gateway);
  EXPECT_GE(RttOf(gateway), 0) << gateway;
  EXPECT_LE(RttOf(gateway), 150) << gateway;
  const std::string dns = LastReply(TLogId::google);
  EXPECT_EQ(dns.rfind("Reply from 8.8.8.8: DataSize=1000 RTT=", 0), 0u) << dns;
  EXPECT_NE(dns.find("TTL=63"), std::string::npos) << dns;  // one hop behind the router
}

TEST_P(PingerNetTest, ThreeSilentTargetsCostOneWait) {
  Lab->SetEcho(TNetLab::GatewayIp, TEchoRule::Silent());
  Lab->SetEcho(TNetLab::DnsIp, TEchoRule::Silent());
  Lab->SetEcho(Lab->ServerIp(), TEchoRule::Silent());
  Add(TLogId::gateway, TNetLab::GatewayIp, "gateway");
  Add(TLogId::google, TNetLab::DnsIp, "google DNS");
  Add(TLogId::rdp, Lab->ServerIp(), "server");
  const int64_t waited = Cycle();
  EXPECT_GE(waited, 3900);
  EXPECT_LT(waited, 6000);
  for (TLogId id : {TLogId::gateway, TLogId::google, TLogId::rdp}) {
    const std::string reply = LastReply(id);
    EXPECT_TRUE(reply == "Time is out" || reply == "Error 11010: The request timed out.") << reply;
  }
}

TEST_P(PingerNetTest, HostUnreachableAnswerGivesItsStatusText) {
  Lab->SetEcho(Lab->ServerIp(), TEchoRule::Unreachable());
  Add(TLogId::rdp, Lab->ServerIp(), "server");
  EXPECT_LT(Cycle(), 1000);
  EXPECT_EQ(LastReply(TLogId::rdp), "Error 11003: The destination host was unreachable.");
}

TEST_P(PingerNetTest, LateReplyIsNeverTakenForALaterRequest) {
  Lab->SetEcho(TNetLab::GatewayIp, TEchoRule::Reply(4300));
  Add(TLogId::gateway, TNetLab::GatewayIp, "gateway");
  Cycle();
  const std::string first = LastReply(TLogId::gateway);
  EXPECT_TRUE(first == "Time is out" || first == "Error 11010: The request timed out.") << first;
  // The first reply arrives about 300 ms into the second request.
  Lab->SetEcho(TNetLab::GatewayIp, TEchoRule::Reply(600));
  Cycle();
  const std::string second = LastReply(TLogId::gateway);
  EXPECT_GE(RttOf(second), 590) << second;
  EXPECT_LT(RttOf(second), 1200) << second;
}

TEST_P(PingerNetTest, DroppedShareTimesOut) {
  testing::TEchoRule half = TEchoRule::Reply();
  half.DropPercent = 50;
  Lab->SetEcho(TNetLab::GatewayIp, half);
  Add(TLogId::gateway, TNetLab::GatewayIp, "gateway");
  Cycle();
  const bool firstAnswered = RttOf(LastReply(TLogId::gateway)) >= 0;
  Cycle();
  const bool secondAnswered = RttOf(LastReply(TLogId::gateway)) >= 0;
  EXPECT_NE(firstAnswered, secondAnswered);
}

INSTANTIATE_TEST_SUITE_P(SocketKinds, PingerNetTest,
                         ::testing::Values(platform::TIcmpSocketKind::Datagram, platform::TIcmpSocketKind::Raw),
                         [](const auto& AInfo) {
                           return AInfo.param == platform::TIcmpSocketKind::Raw ? "Raw" : "Datagram";
                         });

}  // namespace
}  // namespace orvella
