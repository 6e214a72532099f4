// The whole engine, run by the console runner in the client of the simulated
// network while the client holds a TCP connection to the server.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "tests/net/EngineRun.h"
#include "tests/net/NetLab.h"
#include "tests/support/LogGenerator.h"
#include "tests/support/TempDir.h"
#include "tests/support/ZipCheck.h"

namespace orvella {
namespace {

using namespace std::chrono_literals;
using testing::TClientProcess;
using testing::TEchoRule;
using testing::TNetLab;
using testing::TRdpConnection;
using Clock = std::chrono::steady_clock;

// Seconds since midnight of a runner line's time stamp "yyyy-mm-dd hh:mm:ss.mmm".
double StampSeconds(const std::string& ALine) {
  return std::stoi(ALine.substr(11, 2)) * 3600 + std::stoi(ALine.substr(14, 2)) * 60 + std::stod(ALine.substr(17, 6));
}

class EngineNetTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string reason = TNetLab::SkipReason();
    if (!reason.empty())
      GTEST_SKIP() << reason;
    FLab = std::make_unique<TNetLab>();
  }
  void TearDown() override {
    FRunner.reset();
    FConnection.reset();
    FLab.reset();
  }

  void Connect() { FConnection = std::make_unique<TRdpConnection>(*FLab); }
  void StartRunner(const std::vector<std::string>& AOptions = {}) {
    std::vector<std::string> args = {ORVELLA_MONITOR_CONSOLE, std::string(TNetLab::ServerName) + ":3389", "--logs",
                                     Logs()};
    args.insert(args.end(), AOptions.begin(), AOptions.end());
    FRunner = std::make_unique<TClientProcess>(*FLab, args, FDir / "output.txt");
  }
  std::string Logs() const { return FDir / "Logs"; }
  std::string LogFile(TLogId AId) const {
    return TLogsDir(Logs()).LogFileName(AId, platform::SystemClock().LocalNow());
  }
  std::vector<std::string> LogLines(TLogId AId) const {
    std::ifstream file(LogFile(AId), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
      lines.push_back(line);
    return lines;
  }

  testing::TTempDir FDir;
  std::unique_ptr<TNetLab> FLab;
  std::unique_ptr<TRdpConnection> FConnection;
  std::unique_ptr<TClientProcess> FRunner;
};

TEST_F(EngineNetTest, ASlowGatewayIsReportedOnceASecondAndEveryMonitorLogsEachSecond) {
  FLab->SetEcho(TNetLab::GatewayIp, TEchoRule::Reply(200));
  Connect();
  StartRunner();
  const auto started = Clock::now();
  ASSERT_TRUE(FRunner->WaitForLine("errors", 15s));
  std::this_thread::sleep_for(4s);
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  ASSERT_EQ(FRunner->Stop(SIGTERM, 10s), 0);

  const std::vector<std::string> errors = FRunner->LinesWith("errors");
  ASSERT_GE(errors.size(), 4u);
  for (size_t i = 0; i < errors.size(); ++i) {
    EXPECT_EQ(errors[i].substr(24), "errors gateway");
    if (i > 0) {
      const double gap = StampSeconds(errors[i]) - StampSeconds(errors[i - 1]);
      EXPECT_GT(gap, 0.7);
      EXPECT_LT(gap, 1.3);
    }
  }
  EXPECT_FALSE(FRunner->LinesWith("stopped").empty());

  const std::string stamp = R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d - )";
  const std::string head = R"(: Timeout=4000ms MaxValue=150ms DataSize=1000\. Reply from )";
  const std::map<TLogId, std::regex> formats = {
      {TLogId::gateway, std::regex(stamp + R"(Ping gateway \(10\.77\.1\.1\))" + head +
                                   R"(10\.77\.1\.1: DataSize=1000 RTT=(\d+)ms TTL=64\r$)")},
      {TLogId::google, std::regex(stamp + R"(Ping google DNS \(8\.8\.8\.8\))" + head +
                                  R"(8\.8\.8\.8: DataSize=1000 RTT=(\d+)ms TTL=63\r$)")},
      {TLogId::rdp, std::regex(stamp + R"(Ping rdp-server\.test \(10\.77\.4\.2\))" + head +
                               R"(10\.77\.4\.2: DataSize=1000 RTT=(\d+)ms TTL=63\r$)")},
      {TLogId::cpu, std::regex(stamp + R"((\d+(\.\d+)?(E-?\d+)?)?\r$)")},
      {TLogId::ram, std::regex(stamp + R"(\d+(\.\d+)?\r$)")},
      {TLogId::disk, std::regex(stamp + R"((\d+(\.\d+)?(E-?\d+)?)?\r$)")},
  };
  for (const auto& [id, format] : formats) {
    const std::vector<std::string> lines = LogLines(id);
    // One line a second from the first cycle to the termination.
    EXPECT_GE(lines.size() + 2, static_cast<size_t>(seconds)) << LogIdName(id);
    EXPECT_LE(lines.size(), static_cast<size_t>(seconds) + 1) << LogIdName(id);
    for (const std::string& line : lines) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(line, match, format)) << LogIdName(id) << ": " << line;
      if (id == TLogId::gateway) {
        EXPECT_GE(std::stoi(match[1]), 190) << line;
      }
    }
  }
}

TEST_F(EngineNetTest, ASilentInternetHostIsReportedAsGoogle) {
  FLab->SetEcho(TNetLab::DnsIp, TEchoRule::Silent());
  Connect();
  StartRunner();
  // Three cycles of four-second time-outs make the problem persist.
  ASSERT_TRUE(FRunner->WaitForLine("errors", 25s));
  ASSERT_EQ(FRunner->Stop(SIGINT, 10s), 0);
  for (const std::string& line : FRunner->LinesWith("errors"))
    EXPECT_EQ(line.substr(24), "errors google");
  EXPECT_TRUE(FRunner->LinesWith("report").empty());
}

TEST_F(EngineNetTest, ASilentServerIsTracedAndReported) {
  FLab->SetEcho(FLab->ServerIp(), TEchoRule::Silent());
  Connect();
  StartRunner();
  ASSERT_TRUE(FRunner->WaitForLine("errors", 25s));
  // The full trace: 100 probes per hop, about 100 s.
  ASSERT_TRUE(FRunner->WaitForLine("report", 180s)) << "no report after the trace";
  ASSERT_EQ(FRunner->Stop(SIGTERM, 10s), 0);
  EXPECT_EQ(FRunner->LinesWith("errors").front().substr(24), "errors rdp");

  const std::string line = FRunner->LinesWith("report").front();
  const std::string archive = line.substr(line.find("report ") + 7);
  ASSERT_TRUE(std::filesystem::exists(archive)) << line;
  EXPECT_TRUE(testing::UnzipTestPasses(archive));
  const std::string listing = testing::ZipfileListing(archive);
  EXPECT_NE(listing.find("_rdp.log 8 "), std::string::npos) << listing;
  EXPECT_NE(listing.find("_gateway.log 8 "), std::string::npos) << listing;
  EXPECT_TRUE(listing.ends_with("ok\n")) << listing;
  const std::string traceName = std::filesystem::path(archive).stem().string() + "_pathping";
  const std::string trace = testing::ZipfileEntry(archive, traceName);
  // The tracer's own report names the hops with their loss over 100 probes.
  EXPECT_TRUE(std::regex_search(trace, std::regex(R"(10\.77\.1\.1 +[0-9.]+% +100 )"))) << trace;
}

TEST_F(EngineNetTest, WithoutAConnectionNothingIsSampled) {
  StartRunner();
  ASSERT_TRUE(FRunner->WaitForLine("started", 10s));
  std::this_thread::sleep_for(3s);
  ASSERT_EQ(FRunner->Stop(SIGTERM, 10s), 0);
  EXPECT_FALSE(std::filesystem::exists(Logs()) && !std::filesystem::is_empty(Logs()));
  EXPECT_TRUE(FRunner->LinesWith("errors").empty());
}

TEST_F(EngineNetTest, TerminationWhilePackingEndsTheRunAtOnce) {
  // Three days of logs take the packer well over a second.
  testing::GenerateLogs(TLogsDir(Logs()), platform::SystemClock().LocalNow() - 1, 3);
  Connect();
  StartRunner({"--quick-trace"});
  ASSERT_TRUE(FRunner->WaitForLine("started", 10s));
  FRunner->Signal(SIGUSR1);
  // libzip writes the archive into a temporary file beside it.
  const auto deadline = Clock::now() + 60s;
  bool packing = false;
  while (!packing && Clock::now() < deadline) {
    for (const auto& entry : std::filesystem::directory_iterator(Logs()))
      packing = packing || entry.path().filename().string().find(".zip.") != std::string::npos;
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(packing) << "no report was packed";
  const auto stopping = Clock::now();
  ASSERT_EQ(FRunner->Stop(SIGTERM, 5s), 0);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopping);
  std::printf("ended %lld ms after the termination request\n", static_cast<long long>(took.count()));
  EXPECT_LT(took, 1000ms);
  EXPECT_FALSE(FRunner->LinesWith("report abandoned").empty());
}

}  // namespace
}  // namespace orvella
