#pragma once
// An X server of the test's own (Xvfb) on a display number it picks itself,
// ended with the object or with the test process.
#include <memory>
#include <string>

#include "tests/support/ChildRun.h"

namespace orvella::testing {

class TXvfb {
public:
  explicit TXvfb(const std::string& AScreen = "1024x768x24");
  ~TXvfb();
  TXvfb(const TXvfb&) = delete;
  TXvfb& operator=(const TXvfb&) = delete;

  // ":N", or empty when the server could not start.
  const std::string& Display() const { return FDisplay; }

private:
  std::unique_ptr<TChildRun> FServer;
  std::string FDisplay;
};

}  // namespace orvella::testing
