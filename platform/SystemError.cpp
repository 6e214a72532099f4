#include "platform/SystemError.h"

#include "platform/Exceptions.h"

namespace orvella::platform {

void RaiseOSError(int ACode) {
  throw EOSError(ACode, "System error " + std::to_string(ACode) + ": " + SysErrorMessage(ACode));
}

void RaiseLastOSError() { RaiseOSError(LastErrorCode()); }

}  // namespace orvella::platform
