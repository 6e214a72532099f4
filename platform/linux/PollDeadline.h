#pragma once
// The deadline of a wait that poll carries out in one or more rounds, and
// the one poll loop that every wait on descriptors goes through.
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <span>

#include "platform/WaitableEvent.h"

namespace orvella::platform {

class TPollDeadline {
public:
  // ATimeout in milliseconds; Infinite waits without limit.
  explicit TPollDeadline(uint32_t ATimeout)
      : FEndless(ATimeout == Infinite), FDeadline(TClock::now() + std::chrono::milliseconds(ATimeout)) {}

  // The time-out for the next poll: -1 without limit, otherwise what is left,
  // rounded up and cut to what poll's int takes (about 24.8 days); a poll that
  // ends on such a cut time-out is followed by another round.
  int PollTimeout() const {
    if (FEndless)
      return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(FDeadline - TClock::now()).count();
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
  }

  // Whether a poll that timed out has reached the deadline.
  bool Passed() const { return !FEndless && TClock::now() >= FDeadline; }

  // Whether this deadline comes first; one without limit never does.
  bool Before(const TPollDeadline& AOther) const {
    return !FEndless && (AOther.FEndless || FDeadline < AOther.FDeadline);
  }

private:
  using TClock = std::chrono::steady_clock;
  bool FEndless;
  TClock::time_point FDeadline;
};

// Polls AFds until one of them has an event or ADeadline has passed, across
// signals and the rounds that a long deadline needs: the number of
// descriptors with events, 0 at the deadline, -1 with errno when poll fails.
inline int PollUntil(std::span<pollfd> AFds, const TPollDeadline& ADeadline) {
  for (;;) {
    const int ready = poll(AFds.data(), AFds.size(), ADeadline.PollTimeout());
    if (ready > 0 || (ready == 0 && ADeadline.Passed()) || (ready < 0 && errno != EINTR))
      return ready;
  }
}

}  // namespace orvella::platform
