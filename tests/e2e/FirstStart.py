#!/usr/bin/python3
"""First start with an empty settings store: the settings dialog and, once a
tray host runs, the tray icon; a client number typed with blanks around it is
stored trimmed, the dialog hides and the six daily logs appear. A start-up
that cannot have its log folder ends before any window, saying why."""
import os
import subprocess
import sys

import e2e

CLIENT = "4711"
SETTINGS = "Настройки"


def journey(app, build_dir, lab_tool):
    with e2e.Session("first-start", app, build_dir, lab_tool) as session:
        broken = dict(session.env, QT_QPA_PLATFORM="offscreen",
                      XDG_STATE_HOME=os.path.join(session.home, "not-a-folder"))
        open(broken["XDG_STATE_HOME"], "w").close()
        failed = subprocess.run([app], env=broken, capture_output=True, text=True, timeout=30)
        if failed.returncode == 0 or "Unable to locate CSIDL_LOCAL_APPDATA" not in failed.stderr:
            e2e.fail(f"start-up failure not reported: {failed.returncode} {failed.stderr!r}")

        session.connect_client(CLIENT)
        app_process = session.start()
        dialog = session.wait_window(SETTINGS)
        if session.tray_icon():
            e2e.fail("a tray icon without a tray host")
        session.start_tray()
        e2e.wait_for("the tray icon once a tray host runs", session.tray_icon)
        session.screenshot("settings-and-tray-icon")

        field_x, field_y = dialog.x + 117 + 36, dialog.y + 19 + 10
        session.click(field_x, field_y)
        session.type(dialog, f"  {CLIENT}  ")
        session.screenshot("client-number-typed")
        session.click(dialog.x + 64 + 37, dialog.y + 214 + 12)
        session.wait_no_window(SETTINGS)
        stored = session.read_settings().get("ClientId")
        if stored != CLIENT:
            e2e.fail(f"stored client number {stored!r}, expected {CLIENT!r}")
        e2e.wait_for("the six daily logs", lambda: all(session.log_path(name) for name in e2e.LOG_NAMES))
        session.screenshot("dialog-hidden")

        session.stop(app_process)


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
