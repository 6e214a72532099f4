#pragma once
// The GUI thread's work queue: the one way other threads hand work to it.
#include <functional>

namespace orvella {

// Appends AWork to the GUI thread's queue. It runs there later, in the order
// appended, never inline, even when called on the GUI thread; an exception
// that escapes it goes to the standard exception report.
void QueueToGuiThread(std::function<void()> AWork);

// Whether the caller runs on the GUI thread.
bool OnGuiThread();

}  // namespace orvella
