#pragma once
// The monotonic millisecond counter since system start.
#include <cstdint>

namespace orvella::platform {

class ITickSource {
public:
  virtual ~ITickSource() = default;
  // Milliseconds since system start, never decreasing except where a 32-bit
  // counter wraps (Windows' GetTickCount, widened without sign).
  virtual int64_t Milliseconds() const = 0;
};

const ITickSource& SystemTickSource();

}  // namespace orvella::platform
