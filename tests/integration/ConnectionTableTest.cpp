// The connection table and the route lookup as the kernel gives them, when
// reading them fails.
#include <arpa/inet.h>
#include <dirent.h>
#include <linux/netlink.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/ConnectionList.h"
#include "platform/NetworkTables.h"
#include "platform/linux/FileDescriptor.h"

namespace orvella {
namespace {

using platform::TFd;

TEST(ConnectionTableIntegrationTest, AFailedKernelReadIsNoConnectionForOneRefreshNotAFailure) {
  // A loopback connection that the table lists.
  TFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener.Get(), 1), 0);
  ASSERT_EQ(getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
  TFd client(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_EQ(connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const uint32_t ip = address.sin_addr.s_addr;
  const uint16_t port = address.sin_port;

  TConnectionList list;
  list.Refresh();
  ASSERT_TRUE(list.IsConnectedTo(ip, port));

  // With no descriptor left the kernel's table cannot be read at all.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowestFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lowestFree, 0);
  close(lowestFree);
  rlimit exhausted = saved;
  exhausted.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &exhausted), 0);
  std::string failure;
  try {
    list.Refresh();
  } catch (const std::exception& error) {
    failure = error.what();
  }
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(failure, "");
  EXPECT_FALSE(list.IsConnectedTo(ip, port));

  list.Refresh();
  EXPECT_TRUE(list.IsConnectedTo(ip, port));
}

// The process's route netlink sockets, by descriptor.
std::vector<int> RouteSockets() {
  std::vector<int> found;
  DIR* folder = opendir("/proc/self/fd");
  if (!folder)
    return found;
  while (const dirent* entry = readdir(folder)) {
    const int fd = std::atoi(entry->d_name);
    int domain = 0;
    int protocol = -1;
    socklen_t size = sizeof domain;
    if (entry->d_name[0] != '.' && fd != dirfd(folder) &&
        getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) == 0 && domain == AF_NETLINK &&
        getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &size) == 0 && protocol == NETLINK_ROUTE)
      found.push_back(fd);
  }
  closedir(folder);
  return found;
}

TEST(ConnectionTableIntegrationTest, RouteLookupsKeepOneSocketAndReplaceItWhenItFails) {
  platform::INetworkTables& tables = platform::SystemNetworkTables();
  const uint32_t loopback = htonl(INADDR_LOOPBACK);
  platform::TIpForwardRow route;
  ASSERT_EQ(tables.GetBestRoute(loopback, 0, route), platform::NoError);
  EXPECT_EQ(route.ForwardType, platform::RouteTypeDirect);
  ASSERT_EQ(tables.GetBestRoute(loopback, 0, route), platform::NoError);
  const std::vector<int> kept = RouteSockets();
  ASSERT_EQ(kept.size(), 1u);

  // Something else now stands under the kept socket's number.
  const TFd nothing(open("/dev/null", O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(dup2(nothing.Get(), kept[0]), kept[0]);
  route = {};
  EXPECT_EQ(tables.GetBestRoute(loopback, 0, route), platform::NoError);
  EXPECT_EQ(route.ForwardType, platform::RouteTypeDirect);
  EXPECT_EQ(route.ForwardNextHop, loopback);
  EXPECT_EQ(RouteSockets().size(), 1u);
}

}  // namespace
}  // namespace orvella
