#!/usr/bin/python3
"""What the user does with a notification: switches notifications off and on
from the tray menu, chooses mini notifications from the menu and with the
green "x" of a window, opens the two-item menu of a mini pictogram, and rests
the pointer on the pictogram, which shows its hint until the pointer leaves. The
slow gateway's window #0001 stays open throughout (its slow replies count for
100 samples)."""
import re
import subprocess
import sys
import time

import e2e

CLIENT = "4715"
GATEWAY_WINDOW = "Код ошибки #0001"
TRAY_ITEMS, PICTOGRAM_ITEMS = 5, 2
# The hint: below and right of the pointer, at most 400 pixels wide, on the system's hint colour.
HINT_OFFSET, HINT_MAX_WIDTH, HINT_COLOUR = 20, 400, (0xFF, 0xFF, 0xE1)


def share_of_colour(session, window, colour):
    """The share of the window's pixels on the screen that have the colour."""
    raw = subprocess.run(["import", "-window", "root", "-crop", f"{window.width}x{window.height}+{window.x}+{window.y}",
                          "+repage", "-depth", "8", "rgb:-"], env=session.env, capture_output=True, check=True).stdout
    pixels = [tuple(raw[i:i + 3]) for i in range(0, len(raw) - 2, 3)]
    return sum(1 for pixel in pixels if pixel == colour) / max(len(pixels), 1)


def pictogram_hint(session, window):
    """Rests the real pointer on a mini window's pictogram in the screen's
    corner: its hint appears beside the pointer, whole on the screen, and goes
    when the pointer leaves."""
    x, y, width, height = session.shape(window)
    before = {w.id for w in session.windows()}
    pointer = (window.x + x + width // 2, window.y + y + height // 2)
    session.move(*pointer)
    screen = re.search(r"Width: (\d+)\s+Height: (\d+)", session.x("xwininfo", "-root"))
    screen_width, screen_height = int(screen.group(1)), int(screen.group(2))

    def beside_pointer(w):
        """Below the pointer's picture, or above the pointer where the screen has no room below."""
        below = w.y == pointer[1] + HINT_OFFSET
        above = w.y + w.height == pointer[1]
        return (below or above) and w.x <= pointer[0] < w.x + w.width + HINT_MAX_WIDTH

    shown = e2e.wait_for("the pictogram's hint beside the pointer",
                         lambda: next((w for w in session.windows() if w.id not in before), None), timeout=10)
    session.screenshot("pictogram-hint")
    share = share_of_colour(session, shown, HINT_COLOUR)
    print(f"hint {shown} for the pointer at {pointer}, {share:.0%} of it in the hint colour")
    if not beside_pointer(shown):
        e2e.fail(f"the pictogram's hint {shown} is not beside the pointer at {pointer}")
    if shown.x < 0 or shown.y < 0 or shown.x + shown.width > screen_width or shown.y + shown.height > screen_height:
        e2e.fail(f"the pictogram's hint {shown} is not whole on the {screen_width}x{screen_height} screen")
    if shown.width > HINT_MAX_WIDTH or shown.height < 2 * 13 or share < 0.6:
        e2e.fail(f"the pictogram's hint {shown} is not the caption and text on the hint colour ({share:.0%})")
    session.move(0, 0)
    e2e.wait_for("the hint gone once the pointer left", lambda: not session.viewable(shown.id), timeout=5)


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
        pictogram_hint(session, session.windows(GATEWAY_WINDOW)[0])


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
