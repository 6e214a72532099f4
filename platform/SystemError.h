#pragma once
// The operating system's error codes and their texts.
#include <string>

namespace orvella::platform {

// The calling thread's last error code (errno on Linux, GetLastError on Windows).
int LastErrorCode();

// The system's message text for an error code, without trailing line breaks.
std::string SysErrorMessage(int ACode);

// Raises EOSError with the code and "System error <code>: <text>".
[[noreturn]] void RaiseOSError(int ACode);
[[noreturn]] void RaiseLastOSError();
// The same, naming what failed (a file, a folder, a program) after the text:
// "System error <code>: <text>: <what>".
[[noreturn]] void RaiseOSError(int ACode, const std::string& AWhat);
[[noreturn]] void RaiseLastOSError(const std::string& AWhat);

}  // namespace orvella::platform
