#include "platform/SystemError.h"
#include "platform/win32/MessageText.h"

namespace orvella::platform {

int LastErrorCode() { return static_cast<int>(GetLastError()); }

std::string SysErrorMessage(int ACode) { return MessageText(nullptr, static_cast<DWORD>(ACode)); }

}  // namespace orvella::platform
