#include "platform/linux/IcmpPacket.h"

#include <gtest/gtest.h>
#include <linux/icmp.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "platform/Icmp.h"
#include "platform/linux/InternetChecksum.h"

namespace orvella::platform {
namespace {

using TBytes = std::vector<uint8_t>;

constexpr uint16_t Id = 0x4A21;
constexpr uint16_t Seq = 7;
constexpr uint32_t Router = 0x0101000A;  // 10.0.1.1 in network byte order
const TBytes Payload = {'a', 'b', 'c', 'd', 'e'};

// An ICMP message with its checksum.
TBytes Icmp(uint8_t AType, uint8_t ACode, const TBytes& ARest) {
  TBytes icmp = {AType, ACode, 0, 0};
  icmp.insert(icmp.end(), ARest.begin(), ARest.end());
  const uint16_t checksum = InternetChecksum(icmp.data(), icmp.size());
  std::memcpy(&icmp[2], &checksum, 2);
  return icmp;
}

TBytes Echo(uint8_t AType, uint16_t AId, uint16_t ASeq, const TBytes& AData) {
  TBytes rest = {uint8_t(AId >> 8), uint8_t(AId), uint8_t(ASeq >> 8), uint8_t(ASeq)};
  rest.insert(rest.end(), AData.begin(), AData.end());
  return Icmp(AType, 0, rest);
}

// An IPv4 packet from ASource around APayload, AOptionWords words of options.
TBytes Ip(uint32_t ASource, uint8_t AProtocol, const TBytes& APayload, uint8_t AOptionWords = 0) {
  TBytes ip(20 + 4 * AOptionWords, 0);
  ip[0] = static_cast<uint8_t>(0x40 | (5 + AOptionWords));
  const auto total = static_cast<uint16_t>(ip.size() + APayload.size());
  ip[2] = uint8_t(total >> 8);
  ip[3] = uint8_t(total);
  ip[8] = 57;  // TTL
  ip[9] = AProtocol;
  std::memcpy(&ip[12], &ASource, 4);
  for (size_t i = 20; i < ip.size(); ++i)
    ip[i] = 1;  // no-operation options
  ip.insert(ip.end(), APayload.begin(), APayload.end());
  return ip;
}

TBytes Reply(uint16_t AId = Id, uint16_t ASeq = Seq, uint8_t AOptionWords = 0) {
  return Ip(Router, IPPROTO_ICMP, Echo(ICMP_ECHOREPLY, AId, ASeq, Payload), AOptionWords);
}

// An error message from the router quoting our request's header and first 8 bytes.
TBytes Error(uint8_t AType, uint8_t ACode, uint16_t AId = Id, uint8_t AInnerOptionWords = 0) {
  const TBytes request = BuildEchoRequest(AId, Seq, Payload);
  TBytes quoted = Ip(0x0100007F, IPPROTO_ICMP, TBytes(request.begin(), request.begin() + 8), AInnerOptionWords);
  TBytes rest = {0, 0, 0, 0};
  rest.insert(rest.end(), quoted.begin(), quoted.end());
  return Ip(Router, IPPROTO_ICMP, Icmp(AType, ACode, rest));
}

// APacket with its ICMP checksum made right again, so that only what else was
// changed can make the parser refuse it.
TBytes Resummed(TBytes APacket) {
  const size_t at = APacket.empty() ? 0 : (APacket[0] & 15u) * 4;
  if (!APacket.empty() && APacket.size() >= at + 4) {
    APacket[at + 2] = APacket[at + 3] = 0;
    const uint16_t checksum = InternetChecksum(APacket.data() + at, APacket.size() - at);
    std::memcpy(&APacket[at + 2], &checksum, 2);
  }
  return APacket;
}

TBytes FromHex(const std::string& AHex) {
  TBytes bytes;
  for (size_t i = 0; i + 1 < AHex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(AHex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Sums worked out elsewhere: RFC 1071's example, a well-known IPv4 header, and
// an echo request of iputils ping with its reply and their IP headers as the
// kernel sent them on loopback (odd lengths included). Each is checked twice:
// the sum of the bytes with the checksum field cleared is the one on the wire,
// and the sum over the whole packet is zero.
TEST(InternetChecksum, AgreesWithSumsWorkedOutElsewhere) {
  const TBytes rfc1071 = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
  const uint16_t sum = InternetChecksum(rfc1071.data(), rfc1071.size());
  EXPECT_EQ(std::memcmp(&sum, "\x22\x0d", 2), 0);

  struct TCase {
    const char* Hex;
    size_t ChecksumAt;
    const char* OnTheWire;
  };
  const TCase cases[] = {
      {"450000730000400040110000c0a80001c0a800c7", 10, "b861"},
      {"45000027e5284000400100007f0000017f000001", 10, "57ab"},
      {"45000027e5290000400100007f0000017f000001", 10, "97aa"},
      {"080000003e2600014f7276656c6c6100432f4c", 2, "9764"},
      {"000000003e2600014f7276656c6c6100432f4c", 2, "9f64"},
  };
  for (const TCase& test : cases) {
    TBytes packet = FromHex(test.Hex);
    const uint16_t checksum = InternetChecksum(packet.data(), packet.size());
    std::memcpy(&packet[test.ChecksumAt], &checksum, 2);
    const auto at = packet.begin() + static_cast<ptrdiff_t>(test.ChecksumAt);
    EXPECT_EQ(TBytes(at, at + 2), FromHex(test.OnTheWire)) << test.Hex;
    EXPECT_EQ(InternetChecksum(packet.data(), packet.size()), 0) << test.Hex;
  }
}

TEST(IcmpPacket, RepliesAndErrorsAnswerOnlyTheirOwnRequest) {
  const TBytes request = BuildEchoRequest(Id, Seq, Payload);
  EXPECT_EQ(request[0], ICMP_ECHO);
  EXPECT_EQ(InternetChecksum(request.data(), request.size()), 0);
  EXPECT_EQ(EchoSequence(request), Seq);

  for (const uint8_t options : {0, 1, 10}) {
    const TBytes packet = Reply(Id, Seq, options);
    const auto answer = ParseRawAnswer(packet, Id, Seq);
    ASSERT_TRUE(answer) << int(options);
    EXPECT_EQ(answer->Status, IpSuccess);
    EXPECT_EQ(answer->From, Router);
    EXPECT_EQ(answer->Ttl, 57);
    EXPECT_EQ(TBytes(answer->Data.begin(), answer->Data.end()), Payload);
  }
  EXPECT_FALSE(ParseRawAnswer(Reply(Id + 1), Id, Seq));
  EXPECT_FALSE(ParseRawAnswer(Reply(Id, Seq - 1), Id, Seq));
  // Our own request, seen on loopback.
  EXPECT_FALSE(ParseRawAnswer(Ip(Router, IPPROTO_ICMP, request), Id, Seq));

  const std::pair<TBytes, uint32_t> errors[] = {
      {Error(ICMP_TIME_EXCEEDED, ICMP_EXC_TTL), IpTtlExpiredTransit},
      {Error(ICMP_TIME_EXCEEDED, ICMP_EXC_FRAGTIME), IpTtlExpiredReassem},
      {Error(ICMP_DEST_UNREACH, ICMP_NET_UNREACH), IpDestNetUnreachable},
      {Error(ICMP_DEST_UNREACH, ICMP_HOST_UNREACH, Id, 3), IpDestHostUnreachable},
      {Error(ICMP_DEST_UNREACH, ICMP_FRAG_NEEDED), IpPacketTooBig},
      {Error(ICMP_PARAMETERPROB, 0), IpParamProblem},
      {Error(ICMP_SOURCE_QUENCH, 0), IpSourceQuench},
  };
  for (const auto& [packet, status] : errors) {
    const auto answer = ParseRawAnswer(packet, Id, Seq);
    ASSERT_TRUE(answer) << status;
    EXPECT_EQ(answer->Status, status);
    EXPECT_EQ(answer->From, Router);
    EXPECT_TRUE(answer->Data.empty());
  }
  // Another program's request, and messages that are not errors.
  EXPECT_FALSE(ParseRawAnswer(Error(ICMP_TIME_EXCEEDED, 0, Id + 1), Id, Seq));
  EXPECT_FALSE(ParseRawAnswer(Error(ICMP_TIMESTAMP, 0), Id, Seq));
  EXPECT_FALSE(ParseRawAnswer(Error(ICMP_REDIRECT, 0), Id, Seq));

  // A datagram socket hands over the ICMP message alone, identifier rewritten.
  const TBytes datagram = Echo(ICMP_ECHOREPLY, 999, Seq, Payload);
  const auto answer = ParseDatagramReply(datagram, Seq, Router, 64);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Ttl, 64);
  EXPECT_EQ(answer->Data.size(), Payload.size());
  EXPECT_FALSE(ParseDatagramReply(datagram, Seq + 1, Router, 64));
  EXPECT_FALSE(ParseDatagramReply(Echo(ICMP_ECHO, 999, Seq, Payload), Seq, Router, 64));
}

TEST(IcmpPacket, TruncatedAndLyingPacketsAreRefused) {
  for (const TBytes& whole : {Reply(), Reply(Id, Seq, 2)}) {
    for (size_t size = 0; size < whole.size(); ++size)
      EXPECT_FALSE(ParseRawAnswer({whole.data(), size}, Id, Seq)) << size << " of " << whole.size();
  }
  // An error message that lost part of the quoted request, checksum right.
  for (const TBytes& whole : {Error(ICMP_DEST_UNREACH, 1), Error(ICMP_DEST_UNREACH, 1, Id, 2)}) {
    for (size_t size = 0; size < whole.size(); ++size)
      EXPECT_FALSE(ParseRawAnswer(Resummed(TBytes(whole.begin(), whole.begin() + size)), Id, Seq)) << size;
  }
  const TBytes shortReply = Echo(ICMP_ECHOREPLY, 1, Seq, {});
  for (size_t size = 0; size < shortReply.size(); ++size)
    EXPECT_FALSE(ParseDatagramReply({shortReply.data(), size}, Seq, Router, 1));

  const auto changed = [](TBytes APacket, size_t AOffset, uint8_t AValue) {
    APacket[AOffset] = AValue;
    return APacket;
  };
  const auto refused = [](const TBytes& APacket) { return !ParseRawAnswer(APacket, Id, Seq); };
  EXPECT_TRUE(refused(changed(Reply(), 0, 0x44)));                                 // IHL below the fixed header
  EXPECT_TRUE(refused(changed(Reply(), 0, 0x4F)));                                 // IHL beyond the packet
  EXPECT_TRUE(refused(changed(Reply(), 0, 0x65)));                                 // not IPv4
  EXPECT_TRUE(refused(changed(Reply(), 28, 'A')));                                 // data changed under the checksum
  EXPECT_TRUE(refused(Resummed(changed(Error(ICMP_DEST_UNREACH, 1), 28, 0x43))));  // quoted IHL too small
  EXPECT_TRUE(refused(Resummed(changed(Error(ICMP_DEST_UNREACH, 1), 28, 0x4F))));  // quoted IHL too large
  EXPECT_TRUE(refused(Resummed(changed(Error(ICMP_DEST_UNREACH, 1), 37, IPPROTO_UDP))));  // quotes no ICMP
  EXPECT_FALSE(refused(Resummed(changed(Reply(), 28, 'A'))));
  // The total length field is not believed either way.
  EXPECT_FALSE(refused(changed(Reply(), 2, 0xFF)));
  EXPECT_FALSE(refused(changed(Reply(), 3, 0)));
}

TEST(IcmpPacket, ReplyRecordKeepsDataWithinTheCallersBuffer) {
  const TBytes packet = Reply();
  const auto answer = ParseRawAnswer(packet, Id, Seq);
  ASSERT_TRUE(answer);
  for (const size_t room : {size_t(0), size_t(2), Payload.size(), size_t(100)}) {
    TBytes buffer(sizeof(Ticmp_echo_reply) + EchoHeaderSize + room, 0xEE);
    WriteEchoReply(buffer, *answer, 12);
    Ticmp_echo_reply header;
    std::memcpy(&header, buffer.data(), sizeof header);
    EXPECT_EQ(header.DataSize, std::min(room, Payload.size()));
    EXPECT_EQ(header.RoundTripTime, 12u);
    EXPECT_EQ(header.Address, Router);
    EXPECT_EQ(header.Options.Ttl, 57);
    EXPECT_EQ(std::memcmp(buffer.data() + sizeof header, Payload.data(), header.DataSize), 0);
    EXPECT_TRUE(std::all_of(buffer.begin() + sizeof header + header.DataSize, buffer.end(),
                            [](uint8_t AByte) { return AByte == 0xEE; }));
  }
}

// Thousands of mutated and random packets: nothing crashes (the sanitizer
// build watches every read), and whatever is accepted lies inside its packet.
TEST(IcmpPacket, MutatedPacketsNeverReadOutsideThemselves) {
  std::mt19937 random(20261209);
  const TBytes seeds[] = {Reply(), Reply(Id, Seq, 3), Error(ICMP_TIME_EXCEEDED, 0),
                          Error(ICMP_DEST_UNREACH, 3, Id, 2)};
  int accepted = 0;
  for (int round = 0; round < 5000; ++round) {
    TBytes packet = seeds[round % 4];
    if (round % 10 == 9) {
      packet.resize(random() % 80);
      for (uint8_t& byte : packet)
        byte = static_cast<uint8_t>(random());
    } else {
      for (int flips = 1 + random() % 4; flips > 0; --flips)
        packet[random() % packet.size()] = static_cast<uint8_t>(random());
      if (random() % 3 == 0)
        packet.resize(random() % (packet.size() + 1));
    }
    // A copy of exactly the packet's size, so that any read past it is caught.
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[packet.size()]);
    std::copy(packet.begin(), packet.end(), exact.get());
    const std::span<const uint8_t> bytes(exact.get(), packet.size());
    for (const auto& answer : {ParseRawAnswer(bytes, Id, Seq), ParseDatagramReply(bytes, Seq, Router, 1)}) {
      if (!answer)
        continue;
      ++accepted;
      if (!answer->Data.empty()) {
        ASSERT_GE(answer->Data.data(), bytes.data());
        ASSERT_LE(answer->Data.data() + answer->Data.size(), bytes.data() + bytes.size());
      }
      TBytes buffer(sizeof(Ticmp_echo_reply) + EchoHeaderSize + random() % 64);
      WriteEchoReply(buffer, *answer, 1);
    }
  }
  // Mutations that leave the answer intact are among them.
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace orvella::platform
