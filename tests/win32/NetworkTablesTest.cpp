#include "platform/NetworkTables.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <optional>
#include <vector>

#include "tests/win32/Wine.h"

namespace orvella::platform {
namespace {

constexpr uint32_t Loopback = 0x0100007F;  // 127.0.0.1 in network byte order

// A listening socket on 127.0.0.1 and one connection to it.
struct TLoopbackConnection {
  SOCKET Listener = INVALID_SOCKET, Client = INVALID_SOCKET, Server = INVALID_SOCKET;
  uint16_t Port = 0;  // network byte order

  TLoopbackConnection() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = Loopback;
    Listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(Listener, 1);
    int size = sizeof address;
    getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &size);
    Port = address.sin_port;
    Client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(Client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    Server = accept(Listener, nullptr, nullptr);
  }
  ~TLoopbackConnection() {
    for (const SOCKET s : {Server, Client, Listener})
      if (s != INVALID_SOCKET)
        closesocket(s);
    WSACleanup();
  }
};

std::vector<TMibTcpRow> TcpRows() {
  INetworkTables& tables = SystemNetworkTables();
  uint32_t size = 0;
  EXPECT_EQ(tables.GetTcpTable(nullptr, size, true), ErrorInsufficientBuffer);
  std::vector<uint32_t> buffer(size / 4 + 64);
  size = static_cast<uint32_t>(buffer.size() * 4);
  auto* table = reinterpret_cast<TMibTcpTable*>(buffer.data());
  EXPECT_EQ(tables.GetTcpTable(table, size, true), NoError);
  return {table->Table, table->Table + table->NumEntries};
}

TEST(NetworkTablesTest, TheTcpTableHoldsTheTestsConnectionInNetworkByteOrder) {
  TLoopbackConnection connection;
  ASSERT_NE(connection.Server, INVALID_SOCKET) << "no loopback connection: " << WSAGetLastError();
  bool listening = false, outgoing = false, incoming = false;
  for (const TMibTcpRow& row : TcpRows()) {
    if (row.LocalAddr != Loopback && row.LocalAddr != 0)
      continue;
    const uint16_t local = static_cast<uint16_t>(row.LocalPort), remote = static_cast<uint16_t>(row.RemotePort);
    listening |= local == connection.Port && row.State == MibTcpStateListen;
    outgoing |= remote == connection.Port && row.RemoteAddr == Loopback && row.State == MibTcpStateEstab;
    incoming |= local == connection.Port && row.RemoteAddr == Loopback && row.State == MibTcpStateEstab;
  }
  EXPECT_TRUE(listening) << "no LISTEN row for port " << ntohs(connection.Port);
  EXPECT_TRUE(outgoing) << "no ESTABLISHED row towards port " << ntohs(connection.Port);
  EXPECT_TRUE(incoming) << "no ESTABLISHED row on port " << ntohs(connection.Port);
}

TEST(NetworkTablesTest, TheBestRouteComesFromTheSystemsRoutingTable) {
  TIpForwardRow route;
  if (!testing::UnderWine()) {
    ASSERT_EQ(SystemNetworkTables().GetBestRoute(Loopback, 0, route), NoError);
    EXPECT_EQ(route.ForwardType, RouteTypeDirect);
    return;
  }
  // Wine's table is Linux's main table, without the local routes of
  // 127.0.0.0/8, so the check is the default route: the one towards 8.8.8.8
  // (nothing is sent there, the table is only read).
  const std::optional<uint32_t> gateway = testing::LinuxDefaultGateway();
  if (!gateway)
    GTEST_SKIP() << "the Linux host has no default route to compare with";
  ASSERT_EQ(SystemNetworkTables().GetBestRoute(0x08080808, 0, route), NoError);
  EXPECT_EQ(route.ForwardType, RouteTypeIndirect);
  EXPECT_EQ(route.ForwardNextHop, *gateway) << "next hop not in network byte order";
  EXPECT_NE(route.ForwardIfIndex, 0u);
}

}  // namespace
}  // namespace orvella::platform
