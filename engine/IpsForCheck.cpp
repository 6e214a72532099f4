#include "engine/IpsForCheck.h"

#include <charconv>

#include "platform/Exceptions.h"

namespace orvella {

namespace {

// The port part read as a signed 32-bit integer; DefaultRdpPort when it is
// empty or not a number.
int ParsePort(const std::string& AText) {
  int port = 0;
  const char* first = AText.data();
  const char* last = first + AText.size();
  if (first != last && *first == '+')
    ++first;
  const auto [end, error] = std::from_chars(first, last, port);
  if (AText.empty() || error != std::errc() || end != last)
    return DefaultRdpPort;
  return port;
}

}  // namespace

TIpsForCheck TIpsForCheck::Get(const std::string& ADnsName, platform::IResolver& AResolver,
                               platform::INetworkTables& ATables) {
  TIpsForCheck result;
  result.FTables = &ATables;
  result.FDnsName = ADnsName;
  const size_t colon = ADnsName.rfind(':');
  const size_t p = colon == std::string::npos ? ADnsName.size() : colon;
  const int port = ParsePort(p < ADnsName.size() ? ADnsName.substr(p + 1) : std::string());
  if (port < 0 || port > 65535)
    throw ERangeError("Port is out of range (" + std::to_string(port) + ")");
  result.FRdpPort = static_cast<uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));
  try {
    result.FRdpServer = platform::InetAddr(AResolver.ResolveIPv4(ADnsName.substr(0, p)));
  } catch (...) {
    // An unknown server is no failure: the loop just finds no connection to it.
    result.FRdpServer = 0;
    result.FRdpPort = 0;
  }
  result.FGateway = 0;
  result.Gateway();
  return result;
}

uint32_t TIpsForCheck::Gateway() {
  if (FRdpServer != 0 && RouteTo(FRdpServer) == TRoute::Indirect)
    return FGateway;
  switch (RouteTo(GoogleDnsIp)) {
  case TRoute::Indirect:
    break;
  case TRoute::OnLink:
    FGateway = 0;
    FNoRouter = true;
    break;
  case TRoute::None:
    // No route at all is a gateway problem, whatever the last lookup said.
    FNoRouter = false;
    break;
  }
  return FGateway;
}

TIpsForCheck::TRoute TIpsForCheck::RouteTo(uint32_t ADest) {
  platform::TIpForwardRow route;
  if (FTables->GetBestRoute(ADest, 0, route) != platform::NoError)
    return TRoute::None;
  if (route.ForwardType != platform::RouteTypeIndirect)
    return TRoute::OnLink;
  FGateway = route.ForwardNextHop;
  FNoRouter = false;
  return TRoute::Indirect;
}

}  // namespace orvella
