#pragma once
// The settings record that the owner hands to the monitoring loop.
#include <string>

namespace orvella {

struct TMonThreadSettings {
  // Host name of the remote-desktop server, optionally ":" and a port.
  std::string RdpServer;
  // Whether the server itself is pinged, logged and reported.
  bool LogRdp = false;

  bool operator==(const TMonThreadSettings&) const = default;
};

}  // namespace orvella
