#pragma once
// The deadline of a wait that poll carries out in one or more rounds.
#include <chrono>
#include <climits>
#include <cstdint>

namespace orvella::platform {

class TPollDeadline {
public:
  // ATimeout in milliseconds; 0xFFFFFFFF waits without limit.
  explicit TPollDeadline(uint32_t ATimeout)
      : FEndless(ATimeout == 0xFFFFFFFF), FDeadline(TClock::now() + std::chrono::milliseconds(ATimeout)) {}

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

private:
  using TClock = std::chrono::steady_clock;
  bool FEndless;
  TClock::time_point FDeadline;
};

}  // namespace orvella::platform
