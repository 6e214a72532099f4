#pragma once
// The monitoring loop: the body of the monitor thread. While the PC holds a
// TCP connection to its server it samples the six monitors once a second,
// reports the persisting problems to its owner, and traces the route to the
// server and packs a report when the owner asks or the server stays bad.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/LogIds.h"
#include "engine/LogsDir.h"
#include "engine/MonThreadOwner.h"
#include "platform/Clock.h"
#include "platform/Icmp.h"
#include "platform/NetworkTables.h"
#include "platform/PerfCounters.h"
#include "platform/Resolver.h"
#include "platform/RouteTracer.h"
#include "platform/TickSource.h"

namespace orvella {

// What the loop builds its monitors, targets and route trace on.
struct TMonThreadPlatform {
  const TLogsDir LogsDir;
  const platform::IClock& Clock = platform::SystemClock();
  const platform::ITickSource& Ticks = platform::SystemTickSource();
  platform::IIcmp& Icmp = platform::SystemIcmp();
  platform::IPerfCounters& Counters = platform::SystemPerfCounters();
  platform::IResolver& Resolver = platform::SystemResolver();
  platform::INetworkTables& Tables = platform::SystemNetworkTables();
  // The argument vector of the route trace to a host.
  std::function<std::vector<std::string>(const std::string&)> TraceCommand = platform::RouteTraceCommand;
};

// The errors the loop reports of those found in a cycle: a gateway problem
// hides the Internet and server problems, an Internet problem hides the
// server problem.
TLogIds MaskedErrors(TLogIds AErrors);

// Runs until AOwner signals termination, then frees everything it made and
// returns. Any failure ends the loop after the same clean-up and is raised.
void MonThreadRun(const std::shared_ptr<IMonThreadOwner>& AOwner, const TMonThreadPlatform& APlatform);

// The loop on the system's own services, logging to the user's log folder.
void MonThreadRun(const std::shared_ptr<IMonThreadOwner>& AOwner);

}  // namespace orvella
