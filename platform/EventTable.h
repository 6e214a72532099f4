#pragma once
// The completion events that the ICMP service hands out by handle, each one
// the platform's waitable event. What Find gives keeps its event alive, so
// whoever holds it (a request still outstanding on Linux) never sets an event
// that was closed under it.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/OsHandle.h"
#include "platform/WaitableEvent.h"

namespace orvella::platform {

class TEventTable {
public:
  // A new event, clear; 0 with the system's code in ALastError on failure.
  TOsHandle Create(uint32_t& ALastError);
  // None for a handle that is not open.
  std::shared_ptr<TWaitableEvent> Find(TOsHandle AEvent);
  void Reset(TOsHandle AEvent);
  void Close(TOsHandle AEvent);

private:
  std::mutex FLock;
  std::map<TOsHandle, std::shared_ptr<TWaitableEvent>> FEvents;
};

}  // namespace orvella::platform
