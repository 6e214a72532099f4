#include "platform/WaitableEvent.h"

#include <windows.h>

#include "platform/Exceptions.h"
#include "platform/SystemError.h"

namespace orvella::platform {

TWaitableEvent::TWaitableEvent() {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr)
    RaiseLastOSError();
  FHandle = reinterpret_cast<TOsHandle>(event);
}

TWaitableEvent::~TWaitableEvent() { CloseHandle(reinterpret_cast<HANDLE>(FHandle)); }

void TWaitableEvent::Set() {
  if (!SetEvent(reinterpret_cast<HANDLE>(FHandle)))
    RaiseLastOSError();
}

void TWaitableEvent::Reset() {
  if (!ResetEvent(reinterpret_cast<HANDLE>(FHandle)))
    RaiseLastOSError();
}

int WaitForAny(const std::vector<TOsHandle>& AHandles, uint32_t ATimeout) {
  std::vector<HANDLE> handles;
  for (const TOsHandle handle : AHandles)
    handles.push_back(reinterpret_cast<HANDLE>(handle));
  const DWORD count = static_cast<DWORD>(handles.size());
  const DWORD result = WaitForMultipleObjects(count, handles.data(), FALSE, ATimeout);
  if (result == WAIT_FAILED)
    RaiseLastOSError();
  if (result == WAIT_TIMEOUT)
    return WaitTimedOut;
  if (result < WAIT_OBJECT_0 + count)
    return static_cast<int>(result - WAIT_OBJECT_0);
  // An abandoned mutex counts as signalled only as the last handle, where the
  // caller's object sits.
  if (result == WAIT_ABANDONED_0 + count - 1)
    return static_cast<int>(count - 1);
  throw EAssertionFailed("Unexpected wait result " + std::to_string(result), "WaitableEvent");
}

void SleepMilliseconds(uint32_t AMilliseconds) { Sleep(AMilliseconds); }

}  // namespace orvella::platform
