#include "platform/WaitableEvent.h"

#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/SystemError.h"
#include "platform/TickSource.h"
#include "platform/linux/AboveStandardStreams.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/PollDeadline.h"

namespace orvella::platform {

// An eventfd stays readable while its counter is not 0: a manual-reset event.
TWaitableEvent::TWaitableEvent() {
  FHandle = static_cast<TOsHandle>(KeptAboveStandardStreams(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)).Release());
}

TWaitableEvent::~TWaitableEvent() { close(static_cast<int>(FHandle)); }

void TWaitableEvent::Set() {
  const uint64_t one = 1;
  // EAGAIN: the counter is full, so the event is signalled anyway.
  if (write(static_cast<int>(FHandle), &one, sizeof one) < 0 && errno != EAGAIN)
    RaiseLastOSError();
}

void TWaitableEvent::Reset() {
  uint64_t count;
  if (read(static_cast<int>(FHandle), &count, sizeof count) < 0 && errno != EAGAIN)
    RaiseLastOSError();
}

namespace {

// The end of a wait measured on the system's millisecond tick: the moment the
// tick (CLOCK_BOOTTIME in whole milliseconds) has moved on by ATimeout. A
// period timed by the tick counter thus starts on the same tick every time,
// instead of drifting by the fraction of a millisecond the counter drops.
// A timerfd carries it because poll's own time-out is rounded up to whole
// milliseconds and stretched by the timer slack, about 1 ms in a second. Each
// thread sets its own timer again for every wait (which also clears what it
// counted before) rather than making one each time: the sampling loop waits
// once a second for as long as it runs.
int TickDeadline(uint32_t ATimeout) {
  thread_local const TFd Timer(timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC | TFD_NONBLOCK));
  if (!Timer.Valid())
    RaiseLastOSError();
  const int64_t end = SystemTickSource().Milliseconds() + ATimeout;
  itimerspec at{};
  at.it_value.tv_sec = static_cast<time_t>(end / 1000);
  at.it_value.tv_nsec = static_cast<long>(end % 1000 * 1000000);
  if (timerfd_settime(Timer.Get(), TFD_TIMER_ABSTIME, &at, nullptr) != 0)
    RaiseLastOSError();
  return Timer.Get();
}

}  // namespace

int WaitForAny(const std::vector<TOsHandle>& AHandles, uint32_t ATimeout) {
  std::vector<pollfd> fds;
  for (const TOsHandle handle : AHandles)
    fds.push_back({static_cast<int>(handle), POLLIN, 0});
  if (ATimeout != 0 && ATimeout != Infinite)
    fds.push_back({TickDeadline(ATimeout), POLLIN, 0});
  if (PollUntil(fds, TPollDeadline(ATimeout == 0 ? 0 : Infinite)) < 0)
    RaiseLastOSError();
  for (size_t i = 0; i < AHandles.size(); ++i) {
    if ((fds[i].revents & POLLNVAL) != 0)
      RaiseOSError(EBADF);
    if (fds[i].revents != 0)
      return static_cast<int>(i);
  }
  return WaitTimedOut;
}

void SleepMilliseconds(uint32_t AMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds));
}

}  // namespace orvella::platform
