#pragma once
// The system's route tracer and the character set of console programs.
#include <string>
#include <string_view>
#include <vector>

namespace orvella::platform {

// The argument vector of a route trace to AHost: "pathping" on Windows; on
// Linux mtr in report mode, or tracepath where mtr is not installed.
std::vector<std::string> RouteTraceCommand(const std::string& AHost);

// The character set in which console programs write: the OEM code page on
// Windows (its number as text), the locale's character set on Linux.
std::string ConsoleCharset();

// ABytes converted from ACharset to UTF-8. A byte sequence that is invalid in
// ACharset becomes U+FFFD, so a stray byte never costs the rest of the text;
// EOSError when the character set is unknown.
std::string ConsoleTextToUtf8(std::string_view ABytes, const std::string& ACharset);

}  // namespace orvella::platform
