#include "platform/SocketLibrary.h"

namespace orvella::platform {

// The C library's resolver is ready from the program's start.
void StartSocketLibrary() {}

}  // namespace orvella::platform
