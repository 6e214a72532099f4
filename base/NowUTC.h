#pragma once
// The current UTC time as the system counts dates: days since 30 December 1899.
#include "platform/DateTime.h"

namespace orvella {

TDateTime NowUTC();

}  // namespace orvella
