#include "platform/linux/IcmpPacket.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <netinet/ip.h>

#include <cstring>

#include "platform/Icmp.h"
#include "platform/linux/InternetChecksum.h"

namespace orvella::platform {
namespace {

constexpr size_t MinIpHeaderSize = sizeof(iphdr);

uint16_t Identifier(std::span<const uint8_t> AIcmp) { return static_cast<uint16_t>(AIcmp[4] << 8 | AIcmp[5]); }

bool IsErrorMessage(uint8_t AType) {
  return AType == ICMP_DEST_UNREACH || AType == ICMP_SOURCE_QUENCH || AType == ICMP_TIME_EXCEEDED ||
         AType == ICMP_PARAMETERPROB;
}

// The header of the IPv4 packet at the start of APacket and its length with
// options, when the packet holds all of it.
std::optional<std::pair<iphdr, size_t>> IpHeader(std::span<const uint8_t> APacket) {
  if (APacket.size() < MinIpHeaderSize)
    return std::nullopt;
  iphdr header;
  std::memcpy(&header, APacket.data(), sizeof header);
  const size_t size = header.ihl * 4u;
  if (header.version != 4 || size < MinIpHeaderSize || size > APacket.size())
    return std::nullopt;
  return std::pair{header, size};
}

}  // namespace

std::vector<uint8_t> BuildEchoRequest(uint16_t AIdentifier, uint16_t ASequence, std::span<const uint8_t> AData) {
  std::vector<uint8_t> packet(EchoHeaderSize + AData.size());
  packet[0] = ICMP_ECHO;
  packet[1] = 0;
  const uint16_t identifier = htons(AIdentifier);
  const uint16_t sequence = htons(ASequence);
  std::memcpy(&packet[4], &identifier, 2);
  std::memcpy(&packet[6], &sequence, 2);
  if (!AData.empty())
    std::memcpy(&packet[EchoHeaderSize], AData.data(), AData.size());
  const uint16_t checksum = InternetChecksum(packet.data(), packet.size());
  std::memcpy(&packet[2], &checksum, 2);
  return packet;
}

std::optional<TEchoAnswer> ParseRawAnswer(std::span<const uint8_t> APacket, uint16_t AIdentifier,
                                          uint16_t ASequence) {
  const auto ip = IpHeader(APacket);
  if (!ip)
    return std::nullopt;
  const std::span<const uint8_t> icmp = APacket.subspan(ip->second);
  // A raw socket gets what arrived, checksum unchecked.
  if (icmp.size() < EchoHeaderSize || InternetChecksum(icmp.data(), icmp.size()) != 0)
    return std::nullopt;
  if (icmp[0] == ICMP_ECHOREPLY) {
    if (Identifier(icmp) != AIdentifier || EchoSequence(icmp) != ASequence)
      return std::nullopt;
    return TEchoAnswer{IpSuccess, ip->first.saddr, ip->first.ttl, icmp.subspan(EchoHeaderSize)};
  }
  if (!IsErrorMessage(icmp[0]))
    return std::nullopt;
  // An error message quotes the IP header and the first 8 bytes of our request.
  const auto inner = IpHeader(icmp.subspan(EchoHeaderSize));
  if (!inner || inner->first.protocol != IPPROTO_ICMP)
    return std::nullopt;
  const std::span<const uint8_t> quoted = icmp.subspan(EchoHeaderSize + inner->second);
  if (quoted.size() < EchoHeaderSize || quoted[0] != ICMP_ECHO || Identifier(quoted) != AIdentifier ||
      EchoSequence(quoted) != ASequence)
    return std::nullopt;
  return TEchoAnswer{StatusOfIcmpError(icmp[0], icmp[1]), ip->first.saddr, ip->first.ttl, {}};
}

std::optional<TEchoAnswer> ParseDatagramReply(std::span<const uint8_t> APacket, uint16_t ASequence, uint32_t AFrom,
                                              int ATtl) {
  if (APacket.size() < EchoHeaderSize || APacket[0] != ICMP_ECHOREPLY || EchoSequence(APacket) != ASequence)
    return std::nullopt;
  return TEchoAnswer{IpSuccess, AFrom, static_cast<uint8_t>(ATtl < 0 ? 0 : ATtl), APacket.subspan(EchoHeaderSize)};
}

uint32_t StatusOfIcmpError(uint8_t AType, uint8_t ACode) {
  switch (AType) {
  case ICMP_DEST_UNREACH:
    switch (ACode) {
    case ICMP_NET_UNREACH:
    case ICMP_NET_UNKNOWN:
    case ICMP_NET_ANO:
    case ICMP_NET_UNR_TOS:
      return IpDestNetUnreachable;
    case ICMP_PROT_UNREACH:
      return IpDestProtUnreachable;
    case ICMP_PORT_UNREACH:
      return IpDestPortUnreachable;
    case ICMP_FRAG_NEEDED:
      return IpPacketTooBig;
    case ICMP_SR_FAILED:
      return IpBadRoute;
    default:
      return IpDestHostUnreachable;
    }
  case ICMP_TIME_EXCEEDED:
    return ACode == ICMP_EXC_FRAGTIME ? IpTtlExpiredReassem : IpTtlExpiredTransit;
  case ICMP_PARAMETERPROB:
    return IpParamProblem;
  case ICMP_SOURCE_QUENCH:
    return IpSourceQuench;
  default:
    return IpGeneralFailure;
  }
}

void WriteEchoReply(std::span<uint8_t> AReply, const TEchoAnswer& AAnswer, uint32_t ARoundTripTime) {
  // As on Windows, room for an ICMP header stays free behind the record.
  const size_t room = AReply.size() - sizeof(Ticmp_echo_reply) - EchoHeaderSize;
  const size_t copied = AAnswer.Data.size() < room ? AAnswer.Data.size() : room;
  Ticmp_echo_reply header{};
  header.Address = AAnswer.From;
  header.Status = AAnswer.Status;
  header.RoundTripTime = ARoundTripTime;
  header.DataSize = static_cast<uint16_t>(copied);
  header.Options.Ttl = AAnswer.Ttl;
  if (copied)
    std::memcpy(AReply.data() + sizeof header, AAnswer.Data.data(), copied);
  std::memcpy(AReply.data(), &header, sizeof header);
}

}  // namespace orvella::platform
