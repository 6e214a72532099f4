// The event set under the owner's waits.
#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <thread>

#include "engine/Signals.h"
#include "platform/Exceptions.h"

namespace orvella {
namespace {

using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point AStart) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - AStart).count());
}

TEST(Signals, CountIsOneToSixtyThree) {
  EXPECT_THROW(TSignals(0), EAssertionFailed);
  EXPECT_THROW(TSignals(64), EAssertionFailed);
  EXPECT_NO_THROW(TSignals(63));
  TSignals signals(3);
  EXPECT_THROW(signals.SetSignal(3, true), EAssertionFailed);
}

TEST(Signals, NothingToWaitForSleepsTheWholeTimeout) {
  TSignals signals(3);
  signals.SetSignal(0, true);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(signals.Wait({}, 60, 0), sigNone);
  // The object slot without an object is nothing to wait for either.
  EXPECT_EQ(signals.Wait({3}, 60, 0), sigNone);
  EXPECT_EQ(signals.Wait({3}, 60, std::numeric_limits<platform::TOsHandle>::max()), sigNone);
  EXPECT_GE(MillisecondsSince(start), 180);
}

TEST(Signals, LowestRaisedIndexWinsAndEventsStayRaised) {
  TSignals signals(3);
  signals.SetSignal(2, true);
  signals.SetSignal(1, true);
  EXPECT_EQ(signals.Wait({0, 1, 2, 3}, 0, 0), 1);
  EXPECT_EQ(signals.Wait({0, 1, 2, 3}, 0, 0), 1);
  EXPECT_EQ(signals.Wait({0, 2}, 0, 0), 2);
  signals.SetSignal(1, false);
  EXPECT_EQ(signals.Wait({0, 1, 2, 3}, 0, 0), 2);
  signals.SetSignal(2, false);
  EXPECT_EQ(signals.Wait({0, 1, 2, 3}, 0, 0), sigNone);
}

TEST(Signals, ARaiseFromAnotherThreadEndsTheWait) {
  TSignals signals(3);
  std::thread raiser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    signals.SetSignal(2, true);
  });
  EXPECT_EQ(signals.Wait({0, 2}, 10000, 0), 2);
  raiser.join();
}

TEST(Signals, TheObjectSlotReportsTheExtraHandle) {
  TSignals signals(3);
  // Any waitable handle will do as the object; here an event of its own.
  platform::TWaitableEvent object;
  object.Set();
  EXPECT_EQ(signals.Wait({1, 3}, 0, object.Handle()), 3);
  EXPECT_EQ(signals.Wait({1}, 0, object.Handle()), sigNone);
  signals.SetSignal(1, true);
  EXPECT_EQ(signals.Wait({1, 3}, 0, object.Handle()), 1);
}

}  // namespace
}  // namespace orvella
