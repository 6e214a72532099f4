#pragma once
// The start-up work of the application's units, done before any window
// exists and in every run mode, in this order: the log folder's path is
// fixed, the list of notification windows is made and the stored mini mode
// read, the mail unit checks that it can work, the job object for the
// monitor's child processes is set up. Undone in the opposite order.
#include <memory>
#include <string>

#include "engine/LogsDir.h"
#include "notify/Notifications.h"

namespace orvella {

class TStartUp {
public:
  // Raises the first failure; needs the application object.
  TStartUp();

  // Does the start-up work; on failure shows its message on standard error,
  // and in a message box when there is a display, and returns none.
  static std::unique_ptr<TStartUp> Run();

  const TLogsDir& LogsDir() const { return FLogsDir; }

private:
  const TLogsDir FLogsDir;
  TNotifications FNotifications;
};

// A failure before the user interface exists: standard error, and a message
// box when a display can show one.
void ReportStartUpFailure(const std::string& AMessage);

}  // namespace orvella
