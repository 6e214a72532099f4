#pragma once
// The one type of a system object's handle as the seam passes it; 0 is
// "none". A waitable handle is what the waits take: on Windows the HANDLE,
// on Linux the descriptor itself (an eventfd, a pidfd), always kept above the
// standard streams so that it is never 0.
#include <cstdint>

namespace orvella::platform {

using TOsHandle = uintptr_t;

}  // namespace orvella::platform
