#include "engine/IpsForCheck.h"

#include <gtest/gtest.h>

#include "engine/ConnectionList.h"
#include "platform/Exceptions.h"
#include "tests/support/FakeNetworkTables.h"
#include "tests/support/FakeResolver.h"

namespace orvella {
namespace {

using platform::RouteTypeDirect;
using platform::RouteTypeIndirect;

constexpr uint32_t Ip(uint8_t A, uint8_t B, uint8_t C, uint8_t D) {
  return uint32_t(A) | uint32_t(B) << 8 | uint32_t(C) << 16 | uint32_t(D) << 24;
}
constexpr uint32_t Server = Ip(203, 0, 113, 7);
constexpr uint32_t Router = Ip(192, 168, 1, 1);

class IpsForCheckTest : public ::testing::Test {
protected:
  IpsForCheckTest() {
    Resolver.Names["rdp.example"] = "203.0.113.7";
    Tables.Route(Server, RouteTypeIndirect, Router);
    Tables.Route(GoogleDnsIp, RouteTypeIndirect, Ip(192, 168, 1, 254));
  }
  TIpsForCheck Get(const std::string& AText) { return TIpsForCheck::Get(AText, Resolver, Tables); }

  testing::TFakeResolver Resolver;
  testing::TFakeNetworkTables Tables;
};

TEST_F(IpsForCheckTest, TextWithoutPortUsesTheWholeTextAnd3389) {
  const TIpsForCheck ips = Get("rdp.example");
  EXPECT_EQ(ips.FDnsName, "rdp.example");
  EXPECT_EQ(ips.FRdpServer, Server);
  EXPECT_EQ(ips.FRdpPort, 0x3D0D);
  EXPECT_EQ(Resolver.Asked, std::vector<std::string>{"rdp.example"});
  EXPECT_EQ(ips.FGateway, Router);
}

TEST_F(IpsForCheckTest, PortPartAfterTheLastColon) {
  EXPECT_EQ(Get("rdp.example:3390").FRdpPort, 0x3E0D);
  EXPECT_EQ(Get("rdp.example:").FRdpPort, 0x3D0D);
  EXPECT_EQ(Get("rdp.example:x1").FRdpPort, 0x3D0D);
  EXPECT_EQ(Get("rdp.example:65535").FRdpPort, 0xFFFF);
  EXPECT_EQ(Get("rdp.example:0").FRdpPort, 0);
  for (const std::string& host : Resolver.Asked)
    EXPECT_EQ(host, "rdp.example");
}

TEST_F(IpsForCheckTest, PortOutOfRangeRaises) {
  for (const auto& [text, message] : {std::pair{"rdp.example:65536", "Port is out of range (65536)"},
                                      std::pair{"rdp.example:-1", "Port is out of range (-1)"}}) {
    try {
      Get(text);
      ADD_FAILURE() << text;
    } catch (const ERangeError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

TEST_F(IpsForCheckTest, UnknownNameGivesZeroAddressAndPortAndTheInternetGateway) {
  const TIpsForCheck ips = Get("nowhere.example:3389");
  EXPECT_EQ(ips.FRdpServer, 0u);
  EXPECT_EQ(ips.FRdpPort, 0);
  EXPECT_EQ(ips.FGateway, Ip(192, 168, 1, 254));
}

TEST_F(IpsForCheckTest, ServerOnTheLocalNetworkUsesTheRouteToThePublicResolver) {
  Tables.Route(Server, RouteTypeDirect, Server);
  EXPECT_EQ(Get("rdp.example").FGateway, Ip(192, 168, 1, 254));
}

TEST_F(IpsForCheckTest, GatewayKeepsItsValueWithoutRouteAndIsNoneOnAnOnLinkRoute) {
  TIpsForCheck ips = Get("rdp.example");
  Tables.Routes.clear();
  EXPECT_EQ(ips.Gateway(), Router);
  EXPECT_FALSE(ips.FNoRouter);
  // The Internet on the link itself (VPN, PPP): no router to check.
  Tables.Route(GoogleDnsIp, RouteTypeDirect, GoogleDnsIp);
  EXPECT_EQ(ips.Gateway(), 0u);
  EXPECT_TRUE(ips.FNoRouter);
  Tables.Routes.clear();
  EXPECT_EQ(ips.Gateway(), 0u);
  EXPECT_FALSE(ips.FNoRouter);
  Tables.Route(Server, RouteTypeIndirect, Ip(10, 1, 1, 1));
  EXPECT_EQ(ips.Gateway(), Ip(10, 1, 1, 1));
}

platform::TMibTcpRow Row(uint32_t AState, uint32_t ARemote, uint16_t APortNetworkOrder) {
  return {AState, Ip(192, 168, 1, 10), 0x1234, ARemote, APortNetworkOrder};
}

TEST(ConnectionListTest, ActiveStatesCountListeningClosedAndTimeWaitDoNot) {
  testing::TFakeNetworkTables tables;
  TConnectionList list(tables);
  EXPECT_FALSE(list.IsConnectedTo(Server, 0x3D0D));  // no snapshot yet
  for (uint32_t state = 1; state <= 12; ++state) {
    tables.Rows = {Row(state, Server, 0x3D0D)};
    list.Refresh();
    EXPECT_EQ(list.IsConnectedTo(Server, 0x3D0D), state >= 3 && state <= 10) << "state " << state;
  }
}

TEST(ConnectionListTest, AddressAndPortMustMatchPortZeroMatchesAny) {
  testing::TFakeNetworkTables tables;
  tables.Rows = {Row(2, Server, 0x3D0D), Row(5, Ip(203, 0, 113, 8), 0x3D0D), Row(5, Server, 0x5000)};
  TConnectionList list(tables);
  list.Refresh();
  EXPECT_FALSE(list.IsConnectedTo(Server, 0x3D0D));
  EXPECT_TRUE(list.IsConnectedTo(Server, 0x5000));
  EXPECT_TRUE(list.IsConnectedTo(Server, 0));
  EXPECT_FALSE(list.IsConnectedTo(0, 0));
}

TEST(ConnectionListTest, BufferGrowsOnlyWhenAskedFor) {
  testing::TFakeNetworkTables tables;
  tables.Rows.assign(3, Row(5, Server, 0x3D0D));
  TConnectionList list(tables);
  list.Refresh();
  EXPECT_EQ(tables.OfferedSizes, (std::vector<uint32_t>{0, 64}));
  tables.Rows.resize(1);
  list.Refresh();
  EXPECT_EQ(tables.OfferedSizes.back(), 64u);
  tables.Rows.assign(5, Row(11, Server, 0x3D0D));
  list.Refresh();
  EXPECT_EQ(tables.OfferedSizes.back(), 104u);
  EXPECT_FALSE(list.IsConnectedTo(Server, 0));
}

TEST(ConnectionListTest, UnsuccessfulCallsAreRepeatedAtMostTenTimes) {
  testing::TFakeNetworkTables tables;
  tables.Rows = {Row(5, Server, 0x3D0D)};
  TConnectionList list(tables);
  list.Refresh();
  ASSERT_TRUE(list.IsConnectedTo(Server, 0));
  const int before = tables.TableCalls;
  tables.Failures.assign(3, platform::StatusUnsuccessful);
  list.Refresh();
  EXPECT_EQ(tables.TableCalls - before, 4);
  EXPECT_TRUE(list.IsConnectedTo(Server, 0));

  // A persistent failure leaves an empty snapshot instead of ending the loop.
  tables.Failures.assign(50, platform::StatusUnsuccessful);
  list.Refresh();
  EXPECT_EQ(tables.Failures.size(), 50u - 11u);
  EXPECT_FALSE(list.IsConnectedTo(Server, 0));
}

TEST(ConnectionListTest, OtherFailuresRaiseTheIpErrorText) {
  testing::TFakeNetworkTables tables;
  tables.Failures = {87};
  TConnectionList list(tables);
  try {
    list.Refresh();
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), 87);
    EXPECT_EQ(std::string(e.what()).rfind("Error 87: ", 0), 0u);
  }
}

}  // namespace
}  // namespace orvella
