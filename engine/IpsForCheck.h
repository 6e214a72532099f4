#pragma once
// The check targets: the server's address and port from the server setting,
// and the gateway through which the PC reaches the server or the Internet.
#include <cstdint>
#include <string>

#include "platform/NetworkTables.h"
#include "platform/Resolver.h"

namespace orvella {

// 8.8.8.8 in network byte order.
inline constexpr uint32_t GoogleDnsIp = 0x08080808;
inline constexpr int DefaultRdpPort = 3389;

struct TIpsForCheck {
  uint32_t FGateway = 0;    // network byte order, 0 while none was found
  uint32_t FRdpServer = 0;  // network byte order, 0 when the name did not resolve
  uint16_t FRdpPort = 0;    // network byte order (bytes swapped), 0 when the name did not resolve
  std::string FDnsName;     // the server text as given to Get
  // The PC reaches the Internet without a router (a default route that is on
  // the link itself, as over a VPN or PPP): there is no gateway to check.
  bool FNoRouter = false;

  // Resolves "host[:port]"; raises ERangeError only for a port outside 0..65535.
  static TIpsForCheck Get(const std::string& ADnsName, platform::IResolver& AResolver = platform::SystemResolver(),
                          platform::INetworkTables& ATables = platform::SystemNetworkTables());

  // Looks the gateway up again. An on-link route to the Internet gives 0 and
  // FNoRouter; without any route the previous gateway stays.
  uint32_t Gateway();

private:
  enum class TRoute { None, OnLink, Indirect };
  TRoute RouteTo(uint32_t ADest);
  platform::INetworkTables* FTables = &platform::SystemNetworkTables();
};

}  // namespace orvella
