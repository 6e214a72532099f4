#include "platform/IpStatusTexts.h"

#include <array>
#include <utility>

namespace orvella::platform {

namespace {

// The IP status codes and their standard meanings.
constexpr std::array<std::pair<uint32_t, const char*>, 39> IpStatusTexts = {{
    {11001, "The reply buffer was too small."},
    {11002, "The destination network was unreachable."},
    {11003, "The destination host was unreachable."},
    {11004, "The destination protocol was unreachable."},
    {11005, "The destination port was unreachable."},
    {11006, "Insufficient IP resources were available."},
    {11007, "A bad IP option was specified."},
    {11008, "A hardware error occurred."},
    {11009, "The packet was too big."},
    {11010, "The request timed out."},
    {11011, "A bad request."},
    {11012, "A bad route."},
    {11013, "The time to live (TTL) expired in transit."},
    {11014, "The time to live expired during fragment reassembly."},
    {11015, "A parameter problem."},
    {11016, "Datagrams are arriving too fast to be processed and datagrams may have been discarded."},
    {11017, "An IP option was too big."},
    {11018, "A bad destination."},
    {11019, "An address was deleted."},
    {11020, "The MTU changed as specified."},
    {11021, "The MTU changed."},
    {11022, "The IP stack was unloaded."},
    {11023, "An address was added."},
    {11024, "The medium was connected."},
    {11025, "The medium was disconnected."},
    {11026, "An adapter was bound."},
    {11027, "An adapter was unbound."},
    {11028, "The device does not exist."},
    {11029, "A duplicate address was found."},
    {11030, "The interface metric changed."},
    {11031, "The security filter was reconfigured."},
    {11032, "IPsec is negotiating."},
    {11040, "The destination was unreachable."},
    {11041, "The time was exceeded."},
    {11042, "A bad IP header was encountered."},
    {11043, "An unrecognized next header was encountered."},
    {11044, "An ICMP error occurred."},
    {11045, "A destination scope ID mismatch occurred."},
    {11050, "A general failure. This error can be returned for some malformed ICMP packets."},
}};

}  // namespace

bool IpStatusText(uint32_t ACode, std::string& AText) {
  for (const auto& [code, text] : IpStatusTexts)
    if (code == ACode) {
      AText = text;
      return true;
    }
  return false;
}

}  // namespace orvella::platform
