#!/usr/bin/python3
"""What the user does with a notification: switches notifications off and on
from the tray menu, chooses mini notifications from the menu and with the
green "x" of a window, and opens the two-item menu of a mini pictogram. The
slow gateway's window #0001 stays open throughout (its slow replies count for
100 samples)."""
import sys
import time

import e2e

CLIENT = "4715"
GATEWAY_WINDOW = "Код ошибки #0001"
TRAY_ITEMS, PICTOGRAM_ITEMS = 5, 2


def journey(app, build_dir, lab_tool):
    with e2e.Session("notifications", app, build_dir, lab_tool) as session:
        lab = session.lab
        lab.echo(lab["gateway_ip"], "reply 200")
        session.start_monitoring(CLIENT, e2e.load_monitors_off())
        session.wait_window(GATEWAY_WINDOW, timeout=30)
        icon = e2e.wait_for("the tray icon", session.tray_icon)

        def tray_menu_click(index, step):
            menu = session.popup(lambda: session.click(*icon.centre(), button=3), TRAY_ITEMS)
            session.screenshot(step)
            session.click(*session.menu_item(menu, index))
            return menu

        def stored(name):
            return session.read_settings().get(name)

        def mini(window):
            """Whether the window shows only its half-transparent pictogram."""
            x, y, width, height = session.shape(window)
            return width < window.width and height < window.height and session.opacity(window) < 0.6

        tray_menu = tray_menu_click(0, "menu-notifications-on")
        session.wait_no_window(GATEWAY_WINDOW)
        if stored("DisableNotifications") != "1":
            e2e.fail(f"notifications off stored as {stored('DisableNotifications')!r}")
        tray_menu_click(0, "menu-notifications-off")
        window = session.wait_window(GATEWAY_WINDOW)
        if stored("DisableNotifications") != "0" or mini(window):
            e2e.fail("notifications on: not stored or not shown in full")

        tray_menu_click(1, "menu-full-mode")
        window = e2e.wait_for("mini mode from the menu", lambda: next(
            (w for w in session.windows(GATEWAY_WINDOW) if mini(w)), None), timeout=10)
        if int(stored("MiniModeUTC"), 16) == 0:
            e2e.fail("mini mode not stored")
        session.screenshot("mini-from-menu")

        x, y, width, height = session.shape(window)
        menu = session.popup(lambda: session.click(window.x + x + width // 2, window.y + y + height // 2),
                             PICTOGRAM_ITEMS)
        if not menu.height < tray_menu.height * 0.6:
            e2e.fail(f"the pictogram's menu {menu} is not the two-item menu")
        session.screenshot("pictogram-menu")
        session.click(*session.menu_item(menu, 1))
        window = e2e.wait_for("full mode from the pictogram's menu", lambda: next(
            (w for w in session.windows(GATEWAY_WINDOW) if not mini(w)), None), timeout=10)
        if int(stored("MiniModeUTC"), 16) != 0:
            e2e.fail("full mode not stored")

        # The yellow "x" turns green under the pointer; a click on it means mini mode.
        session.move(window.x + 363 + 7, window.y + 10 + 7)
        session.screenshot("green-x")
        session.click(window.x + 363 + 7, window.y + 10 + 7)
        e2e.wait_for("mini mode from the green x", lambda: next(
            (w for w in session.windows(GATEWAY_WINDOW) if mini(w)), None), timeout=10)
        session.move(0, 0)
        time.sleep(0.5)
        if len(session.windows(r"Код ошибки #\d{4}")) != 1:
            e2e.fail("more than one problem window")
        session.screenshot("mini-from-green-x")


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
