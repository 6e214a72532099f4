#include "platform/EventTable.h"

#include "platform/Exceptions.h"

namespace orvella::platform {

TOsHandle TEventTable::Create(uint32_t& ALastError) {
  try {
    auto event = std::make_shared<TWaitableEvent>();
    const TOsHandle handle = event->Handle();
    std::lock_guard lock(FLock);
    FEvents.emplace(handle, std::move(event));
    return handle;
  } catch (const EOSError& e) {
    ALastError = static_cast<uint32_t>(e.ErrorCode());
    return 0;
  }
}

std::shared_ptr<TWaitableEvent> TEventTable::Find(TOsHandle AEvent) {
  std::lock_guard lock(FLock);
  const auto found = FEvents.find(AEvent);
  return found == FEvents.end() ? nullptr : found->second;
}

void TEventTable::Reset(TOsHandle AEvent) {
  if (const std::shared_ptr<TWaitableEvent> event = Find(AEvent))
    event->Reset();
}

void TEventTable::Close(TOsHandle AEvent) {
  std::lock_guard lock(FLock);
  FEvents.erase(AEvent);
}

}  // namespace orvella::platform
