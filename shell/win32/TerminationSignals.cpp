#include "shell/TerminationSignals.h"

namespace orvella {

// A Windows GUI process gets no such signals: log-off and shutdown reach the
// application as the end of the session, which the framework reports as a quit.
struct TTerminationSignals::TImpl {};

TTerminationSignals::TTerminationSignals(std::function<void()>) : FImpl(std::make_unique<TImpl>()) {}

TTerminationSignals::~TTerminationSignals() = default;

}  // namespace orvella
