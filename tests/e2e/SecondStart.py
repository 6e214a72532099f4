#!/usr/bin/python3
"""A second start while orvella runs and monitors: the second hands over and
ends, the running one shows its settings dialog, and there is still one
process with one set of log writers. SIGTERM then ends it in order."""
import sys

import e2e

CLIENT = "4712"


def journey(app, build_dir, lab_tool):
    with e2e.Session("second-start", app, build_dir, lab_tool) as session:
        first = session.start_monitoring(CLIENT)
        e2e.wait_for("the tray icon", session.tray_icon)
        e2e.wait_for("the six daily logs", lambda: all(session.log_path(name) for name in e2e.LOG_NAMES))
        if session.windows("Настройки"):
            e2e.fail("the settings dialog at a start with a stored client number")

        second = session.start()
        if second.wait(timeout=30) != 0 or first.poll() is not None:
            e2e.fail(f"second start ended with {second.returncode}, first with {first.poll()}")
        session.wait_window("Настройки")
        pids = session.running_pids()
        if pids != [first.pid]:
            e2e.fail(f"orvella processes {pids}, expected only {first.pid}")
        writers = session.open_files(first.pid, r"/Orvella/Logs/.*\.log$")
        if sorted(writers) != sorted(session.log_path(name) for name in e2e.LOG_NAMES):
            e2e.fail(f"log files held open: {writers}")
        session.screenshot("settings-shown-by-second-start")

        session.stop(first)


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
