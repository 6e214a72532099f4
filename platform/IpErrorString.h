#pragma once
// Texts of the IP status codes (11000 to 11050).
#include <cstdint>
#include <string>

namespace orvella::platform {

// The text of an IP status code; false when the system knows none.
bool GetIpErrorString(uint32_t ACode, std::string& AText);

}  // namespace orvella::platform
