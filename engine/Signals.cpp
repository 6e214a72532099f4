#include "engine/Signals.h"

#include <limits>

#include "platform/Exceptions.h"

namespace orvella {

TSignals::TSignals(uint8_t ACount) {
  if (ACount < 1 || ACount > 63)
    throw EAssertionFailed("TSignals takes 1 to 63 events, not " + std::to_string(ACount), "Signals");
  for (uint8_t i = 0; i < ACount; ++i)
    FEvents.push_back(std::make_unique<platform::TWaitableEvent>());
}

void TSignals::SetSignal(uint8_t AIndex, bool AState) {
  if (AIndex >= FEvents.size())
    throw EAssertionFailed("No signal " + std::to_string(AIndex), "Signals");
  const uint64_t bit = uint64_t{1} << AIndex;
  const std::lock_guard lock(FChange);
  if (AState) {
    FEvents[AIndex]->Set();
    FRaised.fetch_or(bit);
  } else {
    FRaised.fetch_and(~bit);
    FEvents[AIndex]->Reset();
  }
}

uint8_t TSignals::Wait(const TSigSet& AIndices, uint32_t ATimeout, platform::TOsHandle AObj) {
  std::vector<platform::TOsHandle> handles;
  std::vector<uint8_t> indices;
  for (uint8_t i = 0; i < FEvents.size(); ++i) {
    if (AIndices.Contains(i)) {
      handles.push_back(FEvents[i]->Handle());
      indices.push_back(i);
    }
  }
  const auto objectSlot = static_cast<uint8_t>(FEvents.size());
  if (AIndices.Contains(objectSlot) && AObj != 0 && AObj != std::numeric_limits<platform::TOsHandle>::max()) {
    handles.push_back(AObj);
    indices.push_back(objectSlot);
  }
  if (ATimeout == 0) {
    // The object slot comes after every event: a raised event wins without a look at the object.
    const uint64_t raised = FRaised.load();
    for (const uint8_t index : indices)
      if (index < objectSlot && (raised & (uint64_t{1} << index)) != 0)
        return index;
    if (indices.empty() || indices.back() != objectSlot)
      return sigNone;
  }
  if (handles.empty()) {
    platform::SleepMilliseconds(ATimeout);
    return sigNone;
  }
  const int signalled = platform::WaitForAny(handles, ATimeout);
  return signalled == platform::WaitTimedOut ? sigNone : indices[static_cast<size_t>(signalled)];
}

}  // namespace orvella
