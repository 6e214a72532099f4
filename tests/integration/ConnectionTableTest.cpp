// The connection table as the kernel gives it, when reading it fails.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/ConnectionList.h"
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

}  // namespace
}  // namespace orvella
