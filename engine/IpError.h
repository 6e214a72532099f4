#pragma once
// IP Helper and system error codes as texts and exceptions.
#include <cstdint>
#include <string>

namespace orvella {

// "Error %d: %s": the IP status text for codes 11000 to 11050, the system's
// message text for every other code (and for a status the system has no text for).
std::string IpErrorText(uint32_t ACode);
// IpErrorText of the calling thread's last error.
std::string LastIpErrorText();
// EOSError with ACode and IpErrorText(ACode).
[[noreturn]] void RaiseIpError(uint32_t ACode);
[[noreturn]] void RaiseLastIpError();

}  // namespace orvella
