#pragma once
// Manual-reset events and the wait for the first of several handles.
#include <cstdint>
#include <vector>

#include "platform/OsHandle.h"

namespace orvella::platform {

class TWaitableEvent {
public:
  // Starts clear; EOSError when the system refuses.
  TWaitableEvent();
  ~TWaitableEvent();
  TWaitableEvent(const TWaitableEvent&) = delete;
  TWaitableEvent& operator=(const TWaitableEvent&) = delete;

  // Raised, the event stays signalled until it is cleared. EOSError on failure.
  void Set();
  void Reset();
  TOsHandle Handle() const { return FHandle; }

private:
  TOsHandle FHandle = 0;
};

// A time-out of no limit, for every wait that takes one in milliseconds.
inline constexpr uint32_t Infinite = 0xFFFFFFFF;

inline constexpr int WaitTimedOut = -1;

// Waits until one of AHandles (events, process handles) is signalled or
// ATimeout milliseconds (Infinite: no limit) of the system's tick counter
// pass, so that a wait for what is left of a period ends where the period
// ends; the position of the earliest signalled handle in the list, or
// WaitTimedOut. EOSError on failure.
int WaitForAny(const std::vector<TOsHandle>& AHandles, uint32_t ATimeout);

void SleepMilliseconds(uint32_t AMilliseconds);

}  // namespace orvella::platform
