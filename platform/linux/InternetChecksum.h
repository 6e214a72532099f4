#pragma once
// The ones' complement checksum of IP and ICMP headers, in network byte order.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>

namespace orvella::platform {

inline uint16_t InternetChecksum(const uint8_t* AData, size_t ASize) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < ASize; i += 2)
    sum += static_cast<uint32_t>(AData[i] << 8 | AData[i + 1]);
  if (ASize % 2)
    sum += static_cast<uint32_t>(AData[ASize - 1] << 8);
  while (sum >> 16)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return htons(static_cast<uint16_t>(~sum));
}

}  // namespace orvella::platform
