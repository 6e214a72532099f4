#pragma once
// Wiping secrets from memory in a way the compiler cannot leave out, although
// the bytes are never read again.
#include <cstddef>

namespace orvella::platform {

// Overwrites ASize bytes at AData with zeros.
void WipeMemory(void* AData, size_t ASize);

}  // namespace orvella::platform
