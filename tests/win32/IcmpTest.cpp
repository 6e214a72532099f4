#include "platform/Icmp.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "platform/IpErrorString.h"

namespace orvella::platform {
namespace {

constexpr uint32_t Loopback = 0x0100007F;  // 127.0.0.1 in network byte order

// One ICMP handle with its completion event and reply buffer.
struct TEcho {
  IIcmp& Icmp = SystemIcmp();
  TOsHandle Handle = InvalidIcmpHandle;
  TOsHandle Event = 0;
  alignas(8) unsigned char Reply[92] = {};
  const char Data[32] = "abcdefghijklmnopqrstuvwabcdefgh";

  void Open() {
    const TIcmpCreateResult created = Icmp.IcmpCreateFile();
    ASSERT_NE(created.Handle, InvalidIcmpHandle) << "IcmpCreateFile failed with " << created.LastError;
    Handle = created.Handle;
    uint32_t error = 0;
    Event = Icmp.CreateCompletionEvent(error);
    ASSERT_NE(Event, 0u) << error;
  }
  ~TEcho() {
    if (Event != 0)
      Icmp.CloseEvent(Event);
    if (Handle != InvalidIcmpHandle)
      Icmp.IcmpCloseHandle(Handle);
  }
};

struct TEchoFixture : ::testing::Test, TEcho {
  void SetUp() override { Open(); }
};

TEST_F(TEchoFixture, LoopbackAnswersThroughTheEventWithTheNarrowHeader) {
  const TIcmpSendResult sent =
      Icmp.IcmpSendEcho2(Handle, Event, Loopback, Data, sizeof Data, Reply, sizeof Reply, 2000);
  ASSERT_EQ(sent.Result, 0u) << "an event request must complete later";
  ASSERT_EQ(sent.LastError, ErrorIoPending);
  ASSERT_EQ(Icmp.WaitForSingleObject(Event, 5000), WaitObject0) << "the event never came";

  const TIcmpParseResult parsed = Icmp.IcmpParseReplies(Reply, sizeof Reply);
  ASSERT_EQ(parsed.Count, 1u) << "IcmpParseReplies failed with " << parsed.LastError;
  Ticmp_echo_reply header;
  std::memcpy(&header, Reply, sizeof header);
  EXPECT_EQ(header.Status, IpSuccess);
  EXPECT_EQ(header.Address, Loopback);
  EXPECT_EQ(header.DataSize, sizeof Data);
  EXPECT_LT(header.RoundTripTime, 1000u);
  EXPECT_GT(header.Options.Ttl, 0);

  Icmp.ResetEvent(Event);
  EXPECT_EQ(Icmp.WaitForSingleObject(Event, 0), WaitTimeout);
}

TEST_F(TEchoFixture, SeveralRequestsCompleteTogether) {
  TEcho second;
  ASSERT_NO_FATAL_FAILURE(second.Open());
  ASSERT_EQ(Icmp.IcmpSendEcho2(Handle, Event, Loopback, Data, sizeof Data, Reply, sizeof Reply, 2000).LastError,
            ErrorIoPending);
  ASSERT_EQ(Icmp.IcmpSendEcho2(second.Handle, second.Event, 0x0200007F, Data, sizeof Data, second.Reply,
                               sizeof second.Reply, 2000)
                .LastError,
            ErrorIoPending);
  const TOsHandle events[] = {Event, second.Event};
  EXPECT_EQ(Icmp.WaitForAllObjects(events, 5000), WaitObject0);
  EXPECT_EQ(Icmp.IcmpParseReplies(second.Reply, sizeof second.Reply).Count, 1u);
}

TEST(IpErrorStringTest, KnowsTheTimeOutText) {
  std::string text;
  EXPECT_TRUE(GetIpErrorString(IpReqTimedOut, text));
  EXPECT_FALSE(text.empty());
}

}  // namespace
}  // namespace orvella::platform
