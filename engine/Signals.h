#pragma once
// A fixed set of manual-reset events and the wait over a selection of them
// plus one extra waitable handle.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/MonThreadOwner.h"
#include "engine/SigSet.h"
#include "platform/WaitableEvent.h"

namespace orvella {

class TSignals {
public:
  // ACount events, all clear; ACount must be 1 to 63.
  explicit TSignals(uint8_t ACount);

  // Raises (true) or clears (false) event AIndex.
  void SetSignal(uint8_t AIndex, bool AState);
  // Waits for the events selected in AIndices and, when the index equal to
  // the number of events is selected, for AObj as well (0 and all ones mean
  // none). The lowest signalled index, or sigNone after ATimeout
  // milliseconds; with nothing to wait for it sleeps the whole time-out.
  uint8_t Wait(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj);

private:
  std::vector<std::unique_ptr<platform::TWaitableEvent>> FEvents;
  // Which events are raised, one bit each: a look without waiting (the
  // sampling loop asks before every monitor whether to end) then needs no
  // system call. Changed together with the events under FChange, so that a
  // raise and a clear from two threads leave both saying the same.
  std::mutex FChange;
  std::atomic<uint64_t> FRaised{0};
};

}  // namespace orvella
