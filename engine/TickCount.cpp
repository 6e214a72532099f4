#include "engine/TickCount.h"

#include <limits>

namespace orvella {

int64_t TTickCount::Get(const platform::ITickSource& ASource) { return ASource.Milliseconds(); }

void TTickCount::Now() { FStart = Get(*FSource); }

int64_t TTickCount::Elapsed() const {
  const int64_t now = Get(*FSource);
  if (FStart > now)  // the 32-bit counter wrapped since the start
    return now - FStart + std::numeric_limits<int64_t>::max();
  return now - FStart;
}

uint32_t TTickCount::TimeLeft(uint32_t ATimeout) const {
  const int64_t left = static_cast<int64_t>(ATimeout) - Elapsed();
  return left < 0 ? 0 : static_cast<uint32_t>(left);
}

}  // namespace orvella
