#include <windows.h>

#include "platform/WipeMemory.h"

namespace orvella::platform {

void WipeMemory(void* AData, size_t ASize) { SecureZeroMemory(AData, ASize); }

}  // namespace orvella::platform
