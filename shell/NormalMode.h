#pragma once
// The main program's pieces: the display and the application object, and the
// normal run mode (tray module, settings dialog, event loop).
namespace orvella {

class TStartUp;

// On a Wayland session that offers XWayland the windows run on X11: only
// there can notification windows place themselves in the corner and stay on
// top without taking the focus. A platform the user chose stays.
void ChooseDisplayPlatform();

// False when the program would start with no display to run on (a server, an
// SSH session): Qt would abort inside its start. A display platform the user
// chose (offscreen, vnc...) is left to Qt.
bool DisplayAvailable();
// The one line that says why the program does not start without a display.
inline constexpr const char* NoDisplayMessage =
    "needs a graphical desktop session: neither DISPLAY nor WAYLAND_DISPLAY is set";

// The application object's part: title, icon, and an event loop that only
// the tray module's orderly end stops (no window's closing ends it).
void InitApplication();

// The normal run mode after the start-up work: hands over to the user's
// running instance when there is one; otherwise the tray module, the
// settings dialog and the event loop. Returns the process's exit code.
int RunNormalMode(const TStartUp& AStartUp);

}  // namespace orvella
