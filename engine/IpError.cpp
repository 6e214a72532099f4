#include "engine/IpError.h"

#include "platform/Exceptions.h"
#include "platform/Icmp.h"
#include "platform/IpErrorString.h"
#include "platform/SystemError.h"

namespace orvella {

std::string IpErrorText(uint32_t ACode) {
  std::string message;
  if (ACode >= platform::IpStatusBase && ACode <= platform::IpStatusLast &&
      !platform::GetIpErrorString(ACode, message))
    message.clear();
  if (message.empty())
    message = platform::SysErrorMessage(static_cast<int>(ACode));
  return "Error " + std::to_string(ACode) + ": " + message;
}

std::string LastIpErrorText() { return IpErrorText(static_cast<uint32_t>(platform::LastErrorCode())); }

void RaiseIpError(uint32_t ACode) { throw EOSError(static_cast<int>(ACode), IpErrorText(ACode)); }

void RaiseLastIpError() { RaiseIpError(static_cast<uint32_t>(platform::LastErrorCode())); }

}  // namespace orvella
