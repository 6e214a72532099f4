#include "platform/WipeMemory.h"

#include <string.h>

namespace orvella::platform {

void WipeMemory(void* AData, size_t ASize) { explicit_bzero(AData, ASize); }

}  // namespace orvella::platform
