#include "platform/IpErrorString.h"

#include "platform/IpStatusTexts.h"

namespace orvella::platform {

bool GetIpErrorString(uint32_t ACode, std::string& AText) { return IpStatusText(ACode, AText); }

}  // namespace orvella::platform
