#pragma once
// A handle of a system object as the seam passes it; 0 is "none".
#include <cstdint>

namespace orvella::platform {

using TOsHandle = uintptr_t;

}  // namespace orvella::platform
