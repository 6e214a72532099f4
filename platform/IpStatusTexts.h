#pragma once
// The IP status codes' standard English texts, for systems that have none of
// their own.
#include <cstdint>
#include <string>

namespace orvella::platform {

// The text of an IP status code; false for a code outside the table.
bool IpStatusText(uint32_t ACode, std::string& AText);

}  // namespace orvella::platform
