#include "platform/WaitableEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/SystemError.h"
#include "platform/linux/AboveStandardStreams.h"
#include "platform/linux/PollDeadline.h"

namespace orvella::platform {

// An eventfd stays readable while its counter is not 0: a manual-reset event.
TWaitableEvent::TWaitableEvent() {
  const int fd = AboveStandardStreams(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (fd < 0)
    RaiseLastOSError();
  FHandle = static_cast<uintptr_t>(fd);
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

int WaitForAny(const std::vector<uintptr_t>& AHandles, uint32_t ATimeout) {
  std::vector<pollfd> fds;
  for (const uintptr_t handle : AHandles)
    fds.push_back({static_cast<int>(handle), POLLIN, 0});
  const TPollDeadline deadline(ATimeout);
  while (true) {
    const int ready = poll(fds.data(), fds.size(), deadline.PollTimeout());
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      RaiseLastOSError();
    }
    if (ready == 0) {
      if (!deadline.Passed())
        continue;
      return WaitTimedOut;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & POLLNVAL) != 0)
        RaiseOSError(EBADF);
      if (fds[i].revents != 0)
        return static_cast<int>(i);
    }
  }
}

void SleepMilliseconds(uint32_t AMilliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds)); }

}  // namespace orvella::platform
