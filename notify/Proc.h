#pragma once
// A shared, possibly empty callback without parameters.
#include <functional>

namespace orvella {

using TProc = std::function<void()>;

}  // namespace orvella
