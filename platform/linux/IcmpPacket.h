#pragma once
// The bytes of ICMP echo: the request as it is sent, and what an answer that
// came back says about it. Nothing here touches a socket, so any bytes at all
// may be handed in; whatever does not answer the request is refused.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvella::platform {

inline constexpr size_t EchoHeaderSize = 8;  // type, code, checksum, identifier, sequence

// What an answer to one echo request says: the IP status, who sent it, with
// which TTL, and the data of a reply (empty for an error message).
struct TEchoAnswer {
  uint32_t Status;
  uint32_t From;  // network byte order
  uint8_t Ttl;
  std::span<const uint8_t> Data;
};

// An echo request with its checksum filled in.
std::vector<uint8_t> BuildEchoRequest(uint16_t AIdentifier, uint16_t ASequence, std::span<const uint8_t> AData);

// A datagram of a raw socket: the IP header, then the echo reply or an ICMP
// error message that quotes the request; only the request AIdentifier,
// ASequence counts.
std::optional<TEchoAnswer> ParseRawAnswer(std::span<const uint8_t> APacket, uint16_t AIdentifier, uint16_t ASequence);

// A datagram of an ICMP datagram socket: the echo reply without its IP header,
// the identifier being the kernel's; AFrom and ATtl (-1 for none) come from
// the socket.
std::optional<TEchoAnswer> ParseDatagramReply(std::span<const uint8_t> APacket, uint16_t ASequence, uint32_t AFrom,
                                              int ATtl);

// The sequence number of an echo message of at least EchoHeaderSize bytes.
inline uint16_t EchoSequence(std::span<const uint8_t> AIcmp) {
  return static_cast<uint16_t>(AIcmp[6] << 8 | AIcmp[7]);
}

// The IP status code of an ICMP error message.
uint32_t StatusOfIcmpError(uint8_t AType, uint8_t ACode);

// Writes the reply record (Ticmp_echo_reply and the data after it, cut to
// the room that the reply buffer leaves) into AReply, which holds at least the
// record and an ICMP header.
void WriteEchoReply(std::span<uint8_t> AReply, const TEchoAnswer& AAnswer, uint32_t ARoundTripTime);

}  // namespace orvella::platform
