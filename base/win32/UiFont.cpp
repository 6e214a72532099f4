#include "base/UiFont.h"

namespace orvella {

// Tahoma comes with Windows.
void EnsureUiFontLoaded() {}

}  // namespace orvella
