#include "platform/SystemError.h"

#include "platform/Exceptions.h"

namespace orvella::platform {

void RaiseOSError(int ACode) {
  throw EOSError(ACode, "System error " + std::to_string(ACode) + ": " + SysErrorMessage(ACode));
}

void RaiseLastOSError() { RaiseOSError(LastErrorCode()); }

void RaiseOSError(int ACode, const std::string& AWhat) {
  throw EOSError(ACode, "System error " + std::to_string(ACode) + ": " + SysErrorMessage(ACode) + ": " + AWhat);
}

void RaiseLastOSError(const std::string& AWhat) { RaiseOSError(LastErrorCode(), AWhat); }

}  // namespace orvella::platform
