#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace orvella::platform {

int LastErrorCode() { return errno; }

std::string SysErrorMessage(int ACode) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  return strerror_r(ACode, buffer, sizeof buffer);
}

}  // namespace orvella::platform
