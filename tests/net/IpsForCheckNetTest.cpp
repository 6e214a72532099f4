#include "engine/IpsForCheck.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/ConnectionList.h"
#include "platform/linux/FileDescriptor.h"
#include "tests/net/NetLab.h"

namespace orvella {
namespace {

using testing::TNetLab;

uint32_t Addr(const std::string& AText) { return inet_addr(AText.c_str()); }

using platform::TFd;

TFd Listen(uint16_t APort) {
  TFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(APort);
  EXPECT_EQ(bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(listen(listener.Get(), 4), 0);
  return listener;
}

// A connection attempt that does not wait for its answer.
TFd Connect(const std::string& AIp, uint16_t APort) {
  TFd client(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(APort);
  address.sin_addr.s_addr = Addr(AIp);
  connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  return client;
}

class IpsForCheckNetTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string reason = TNetLab::SkipReason();
    if (!reason.empty())
      GTEST_SKIP() << reason;
  }

  // Refreshes the table until APredicate holds, for at most two seconds.
  static bool Eventually(TConnectionList& AList, const std::function<bool()>& APredicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
      AList.Refresh();
      if (APredicate())
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
};

TEST_F(IpsForCheckNetTest, ServerBehindTheRouterIsReachedThroughTheDefaultGateway) {
  TNetLab lab;
  lab.UseClientHosts();
  TNetLab::TEnter inClient(lab, TNetLab::THost::Client);
  TIpsForCheck ips = TIpsForCheck::Get(std::string(TNetLab::ServerName) + ":3389");
  EXPECT_EQ(ips.FRdpServer, Addr(lab.ServerIp()));
  EXPECT_EQ(ips.FRdpPort, 0x3D0D);
  EXPECT_EQ(ips.FGateway, Addr(TNetLab::GatewayIp));
  EXPECT_EQ(TIpsForCheck::Get("no-such-host.test").FRdpServer, 0u);
}

TEST_F(IpsForCheckNetTest, ServerOnTheClientsNetworkGivesTheNextHopToThePublicResolver) {
  TNetLab lab(TNetLab::TOptions{.ServerOnClientLan = true});
  TNetLab::TEnter inClient(lab, TNetLab::THost::Client);
  TIpsForCheck ips = TIpsForCheck::Get(lab.ServerIp());
  EXPECT_EQ(ips.FRdpServer, Addr("10.77.3.2"));
  EXPECT_EQ(ips.FGateway, Addr(TNetLab::GatewayIp));

  // Without a default route there is no gateway to find: the last one stays.
  lab.Run(TNetLab::THost::Client, {"ip", "route", "del", "default"});
  EXPECT_EQ(ips.Gateway(), Addr(TNetLab::GatewayIp));
  EXPECT_EQ(TIpsForCheck::Get(lab.ServerIp()).FGateway, 0u);

  // A default route without a gateway, as a VPN or PPP link has.
  lab.Run(TNetLab::THost::Client, {"ip", "route", "add", "default", "dev", "lan0"});
  EXPECT_EQ(ips.Gateway(), 0u);
  EXPECT_TRUE(ips.FNoRouter);
}

TEST_F(IpsForCheckNetTest, ConnectionCountsWhileSetUpEstablishedOrInCloseWaitNotInTimeWait) {
  TNetLab lab;
  const std::string server = lab.ServerIp();
  TFd listener, second, third;
  {
    TNetLab::TEnter inServer(lab, TNetLab::THost::Server);
    listener = Listen(3389);
    second = Listen(3390);
    third = Listen(3391);
  }
  TNetLab::TEnter inClient(lab, TNetLab::THost::Client);
  TConnectionList list;
  list.Refresh();
  EXPECT_FALSE(list.IsConnectedTo(Addr(server), htons(3389)));

  // Nobody answers on 10.77.4.99: the connection stays in SYN sent.
  TFd pending = Connect("10.77.4.99", 3389);
  EXPECT_TRUE(Eventually(list, [&] { return list.IsConnectedTo(Addr("10.77.4.99"), htons(3389)); }));
  EXPECT_FALSE(list.IsConnectedTo(Addr("10.77.4.99"), htons(3390)));
  pending.Reset();

  TFd client = Connect(server, 3389);
  TFd accepted(accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  ASSERT_GE(accepted.Get(), 0);
  EXPECT_TRUE(Eventually(list, [&] { return list.IsConnectedTo(Addr(server), htons(3389)); }));
  EXPECT_TRUE(list.IsConnectedTo(Addr(server), 0));
  const std::string ss = lab.Run(TNetLab::THost::Client, {"ss", "-Htn", "state", "established"});
  EXPECT_NE(ss.find(server + ":3389"), std::string::npos) << ss;

  // An IPv6 socket that talks IPv4 through a mapped address counts as well.
  TFd mapped(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  sockaddr_in6 to{};
  to.sin6_family = AF_INET6;
  to.sin6_port = htons(3391);
  ASSERT_EQ(inet_pton(AF_INET6, ("::ffff:" + server).c_str(), &to.sin6_addr), 1);
  connect(mapped.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
  EXPECT_TRUE(Eventually(list, [&] { return list.IsConnectedTo(Addr(server), htons(3391)); }));

  // The server closes first: the client's end waits in close wait.
  accepted.Reset();
  EXPECT_TRUE(Eventually(list, [&] {
    return lab.Run(TNetLab::THost::Client, {"ss", "-Htn", "state", "close-wait"}).find(server + ":3389") !=
           std::string::npos;
  }));
  EXPECT_TRUE(list.IsConnectedTo(Addr(server), htons(3389)));

  // The client closes first: its end lingers in time wait, which does not count.
  TFd other = Connect(server, 3390);
  TFd otherAccepted(accept4(second.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  ASSERT_GE(otherAccepted.Get(), 0);
  other.Reset();
  char byte;
  EXPECT_EQ(read(otherAccepted.Get(), &byte, 1), 0);
  otherAccepted.Reset();
  EXPECT_TRUE(Eventually(list, [&] {
    return lab.Run(TNetLab::THost::Client, {"ss", "-Htn", "state", "time-wait"}).find(server + ":3390") !=
           std::string::npos;
  }));
  EXPECT_FALSE(list.IsConnectedTo(Addr(server), htons(3390)));
}

}  // namespace
}  // namespace orvella
