#pragma once
// Host names to IPv4 addresses.
#include <cstdint>
#include <string>

namespace orvella::platform {

class IResolver {
public:
  virtual ~IResolver() = default;
  // The first IPv4 address of AHost as dotted text; a text that already is an
  // address comes back unchanged. EOSError when the name does not resolve.
  virtual std::string ResolveIPv4(const std::string& AHost) = 0;
};

IResolver& SystemResolver();

// Dotted text to an address in network byte order (inet_addr); 0xFFFFFFFF
// for a malformed text.
uint32_t InetAddr(const std::string& AText);

}  // namespace orvella::platform
