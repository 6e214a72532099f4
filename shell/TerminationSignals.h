#pragma once
// The system's requests to end the process (on Linux SIGTERM, SIGINT and
// SIGHUP), turned into a call on the GUI thread, so the application can end
// in order instead of being cut off.
#include <functional>
#include <memory>

namespace orvella {

class TTerminationSignals {
public:
  // AOnRequest runs on the GUI thread, once per request. One object at a time.
  explicit TTerminationSignals(std::function<void()> AOnRequest);
  // The system's default handling again.
  ~TTerminationSignals();
  TTerminationSignals(const TTerminationSignals&) = delete;
  TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace orvella
