#pragma once
// A millisecond stopwatch over the system's tick counter.
#include <cstdint>

#include "platform/TickSource.h"

namespace orvella {

class TTickCount {
public:
  explicit TTickCount(const platform::ITickSource& ASource = platform::SystemTickSource()) : FSource(&ASource) {}

  // The current tick of ASource.
  static int64_t Get(const platform::ITickSource& ASource = platform::SystemTickSource());

  // Restarts the stopwatch.
  void Now();
  // Milliseconds since the last start; after a wrap of the 32-bit counter the
  // stopwatch counts as long expired.
  int64_t Elapsed() const;
  // ATimeout minus Elapsed, or 0 once it has passed.
  uint32_t TimeLeft(uint32_t ATimeout) const;

  int64_t Start() const { return FStart; }

private:
  const platform::ITickSource* FSource;
  int64_t FStart = 0;
};

}  // namespace orvella
