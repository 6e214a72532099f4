// The pinger on this machine's own loopback, with the system's ICMP service.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/Pinger.h"
#include "engine/IpsForCheck.h"
#include "platform/linux/Icmp.h"
#include "tests/support/LogReader.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

std::string LastLine(const TLogsDir& ALogsDir, TLogId AId) {
  const auto lines = testing::ReadLogLines(ALogsDir, AId, DateOf(platform::SystemClock().LocalNow()));
  return lines.empty() ? std::string() : lines.back();
}

TEST(PingerLoopbackTest, LoopbackAnswersWithItsAddressAndTtl) {
  if (geteuid() != 0)
    GTEST_SKIP() << "raw ICMP sockets need root where ping_group_range allows no datagram socket";
  testing::TTempDir temp;
  TLogsDir logs(temp.Path());
  platform::TLinuxIcmp icmp;
  TPinger pinger(TLogId::gateway, logs, platform::SystemClock(), icmp);
  pinger.SetIp(inet_addr("127.0.0.1"));
  pinger.SetIpDescr("loopback");
  for (int i = 0; i < 3; ++i) {
    TPinger* list[] = {&pinger};
    TPinger::BeginPing(list, -1);
    EXPECT_TRUE(pinger.LogNewValue());
  }
  const std::string line = LastLine(logs, TLogId::gateway);
  EXPECT_NE(line.find("Ping loopback (127.0.0.1): Timeout=4000ms MaxValue=150ms DataSize=1000. "
                      "Reply from 127.0.0.1: DataSize=1000 RTT="),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("ms TTL=64"), std::string::npos) << line;
}

// Without a group in ping_group_range and without CAP_NET_RAW no ICMP socket
// opens at all: the sample says why, nothing crashes.
TEST(PingerLoopbackTest, NoPermissionForAnyIcmpSocketGivesAnErrorSample) {
  if (geteuid() != 0)
    GTEST_SKIP() << "dropping to another user needs root";
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    // A fresh network namespace has ping_group_range "1 0": no group at all.
    if (unshare(CLONE_NEWNET) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
      _exit(3);
    std::string line;
    {
      testing::TTempDir temp;
      TLogsDir logs(temp.Path());
      platform::TLinuxIcmp icmp;
      TPinger pinger(TLogId::gateway, logs, platform::SystemClock(), icmp);
      pinger.SetIp(inet_addr("127.0.0.1"));
      TPinger* list[] = {&pinger};
      TPinger::BeginPing(list, -1);
      pinger.LogNewValue();
      line = LastLine(logs, TLogId::gateway);
    }
    const ssize_t written = write(pipeFds[1], line.data(), line.size());
    _exit(written == static_cast<ssize_t>(line.size()) ? 0 : 4);
  }
  close(pipeFds[1]);
  std::string line;
  char buffer[512];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    line.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(line.find(". EOSError: Error 1: Operation not permitted") != std::string::npos ||
              line.find(". EOSError: Error 13: Permission denied") != std::string::npos)
      << line;
}

TEST(ResolverIntegrationTest, NamesFromTheHostsFileAndAddressesUnchanged) {
  EXPECT_EQ(platform::SystemResolver().ResolveIPv4("127.0.0.5"), "127.0.0.5");
  EXPECT_EQ(platform::SystemResolver().ResolveIPv4("localhost"), "127.0.0.1");
  const TIpsForCheck ips = TIpsForCheck::Get("localhost:3390");
  EXPECT_EQ(ips.FRdpServer, inet_addr("127.0.0.1"));
  EXPECT_EQ(ips.FRdpPort, 0x3E0D);
}

}  // namespace
}  // namespace orvella
