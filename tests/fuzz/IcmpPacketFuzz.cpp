// The ICMP answer parsers on any bytes. The first five bytes choose the
// request (identifier, sequence) and the socket: bit 0 of the fifth a raw
// socket's datagram (IP header, then an echo reply or an ICMP error quoting the
// request), otherwise a datagram socket's reply with the TTL of the other bits.
// Whatever is accepted must lie within the packet, and its reply record must
// fit the caller's buffer, whatever room it leaves.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "platform/Icmp.h"
#include "platform/linux/IcmpPacket.h"

using namespace orvella::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 5)
    return 0;
  const auto identifier = static_cast<uint16_t>(AData[0] << 8 | AData[1]);
  const auto sequence = static_cast<uint16_t>(AData[2] << 8 | AData[3]);
  const bool raw = (AData[4] & 1) != 0;
  // A copy of exactly the packet's size, so that a read past it is caught.
  const size_t size = ASize - 5;
  const std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
  std::copy(AData + 5, AData + ASize, exact.get());
  const std::span<const uint8_t> packet(exact.get(), size);

  const auto answer = raw ? ParseRawAnswer(packet, identifier, sequence)
                          : ParseDatagramReply(packet, sequence, 0x0100007F, AData[4] >> 1);
  if (!answer)
    return 0;
  if (!answer->Data.empty() &&
      (answer->Data.data() < packet.data() || answer->Data.data() + answer->Data.size() > packet.data() + size))
    std::abort();
  for (const size_t room : {size_t(0), size_t(1), answer->Data.size(), answer->Data.size() + 7}) {
    std::vector<uint8_t> reply(sizeof(Ticmp_echo_reply) + EchoHeaderSize + room);
    WriteEchoReply(reply, *answer, 1);
  }
  return 0;
}
