#!/usr/bin/python3
"""The Windows program's first start after the MSI installed it: the
settings dialog "Настройки" and the tray icon; a client number typed with
blanks around it is stored trimmed as HKCU\\Software\\tamsket\\orvella
"ClientId", the dialog hides, and the six daily logs appear in
%LOCALAPPDATA%\\Orvella\\Logs."""
import sys

import wine_journey
from wine_journey import e2e
from FirstStart import CLIENT, SETTINGS
from installed_under_wine import DIALOG_CLIENT, FIELD, OK_BUTTON


def journey(world):
    with world.session("first-start") as session:
        session.install()
        session.connect_client(CLIENT)
        session.start_tray()
        orvella = session.start()
        dialog = session.wait_window(SETTINGS, timeout=90)
        e2e.wait_for("the tray icon", session.tray_icon, timeout=60)
        session.screenshot("settings-and-tray-icon")
        left, top = session.client_origin(dialog, DIALOG_CLIENT)
        session.click(left + FIELD[0], top + FIELD[1])
        session.type(dialog, f"  {CLIENT}  ")
        session.screenshot("client-number-typed")
        session.click(left + OK_BUTTON[0], top + OK_BUTTON[1])
        session.wait_no_window(SETTINGS)
        stored = session.read_settings().get("ClientId")
        if stored != CLIENT:
            e2e.fail(f"stored client number {stored!r}, expected {CLIENT!r}")
        e2e.wait_for("the six daily logs", lambda: all(session.log_path(name) for name in e2e.LOG_NAMES), timeout=60)
        session.screenshot("dialog-hidden")
        session.exit_by_menu(orvella)


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
