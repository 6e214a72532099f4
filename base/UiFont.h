#pragma once
// The user-interface font of the windows: Tahoma, sized in points at 96 dots
// per inch whatever the screen says, so that the layouts come out in pixels
// exactly as designed.
#include <QFont>

namespace orvella {

// Tahoma of APointSize points, as a pixel size.
QFont UiFont(int APointSize);

// Makes Tahoma known to the application where the system does not provide it.
void EnsureUiFontLoaded();

}  // namespace orvella
