#!/usr/bin/python3
"""The tray of most desktops today: a StatusNotifierItem host on a private
D-Bus session bus (Xfce's panel with its status tray). orvella's icon appears
in that host, registered as a StatusNotifierItem; the menu the host reads over
D-Bus has the five items with their texts before it was ever opened; opened
from the icon with the right button it shows them, "Отправить отчет" opens the
send-report dialog and "Выход" ends the program, and its icon leaves the host."""
import subprocess
import sys
import time

import e2e
import MailHost
from StatusNotifierHost import StatusNotifierHost

CLIENT = "4717"
ITEMS = ["Отключить оповещения", "Показывать мини-оповещения", "Отправить отчет", "Настройки", "Выход"]
SEND_ITEM, EXIT_ITEM = 2, 4


def icon_pixels(session, panel):
    """Where the panel shows orvella's icon: the blue of its screen, as (x, y) on the screen."""
    raw = subprocess.run(["import", "-window", "root", "-crop", f"{panel.width}x{panel.height}+{panel.x}+{panel.y}",
                          "+repage", "-depth", "8", "rgb:-"], env=session.env, capture_output=True, check=True).stdout
    found = []
    for i in range(0, min(len(raw), panel.width * panel.height * 3), 3):
        red, green, blue = raw[i], raw[i + 1], raw[i + 2]
        if blue > 150 and red < 120 and green < 130:
            pixel = i // 3
            found.append((panel.x + pixel % panel.width, panel.y + pixel // panel.width))
    return found


def open_menu(session, icon):
    """Right-clicks the icon in the panel; returns the host's menu window."""
    before = {w.id for w in session.windows(wclass=None)}
    def new_menu():
        return next((w for w in session.windows(wclass=None) if w.id not in before and w.width > 100
                     and 5 * 16 < w.height < 5 * 40), None)
    for _ in range(3):
        session.click(*icon, button=3)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            menu = new_menu()
            if menu:
                menu.items = len(ITEMS)
                return menu
            time.sleep(0.2)
    e2e.fail("timed out: the host's menu of the icon")


def journey(app, build_dir, lab_tool):
    with e2e.Session("status-notifier-tray", app, build_dir, lab_tool) as session, \
            StatusNotifierHost(session) as host:
        panel = e2e.wait_for("the panel", host.panel)
        if icon_pixels(session, panel):
            e2e.fail("the empty panel already shows something blue")
        session.write_settings({"ClientId": CLIENT, **e2e.load_monitors_off()})
        session.connect_client(CLIENT)
        orvella = session.start()

        items = e2e.wait_for("orvella's StatusNotifierItem", host.items, timeout=30)
        if len(items) != 1:
            e2e.fail(f"registered items {items}")
        labels = host.menu_labels(items[0])
        if labels != ITEMS:
            e2e.fail(f"the menu the host reads has the items {labels}")
        pixels = e2e.wait_for("orvella's icon in the panel", lambda: icon_pixels(session, panel), timeout=20)
        xs, ys = [x for x, _ in pixels], [y for _, y in pixels]
        icon = ((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)
        print(f"icon at {icon}, {len(pixels)} pixels of its blue")
        session.screenshot("icon-in-panel")

        menu = open_menu(session, icon)
        session.screenshot("menu")
        session.click(*session.menu_item(menu, SEND_ITEM))
        session.wait_window(MailHost.SEND_REPORT_DIALOG)
        session.screenshot("send-report-dialog")

        menu = open_menu(session, icon)
        session.click(*session.menu_item(menu, EXIT_ITEM))
        try:
            code = orvella.wait(timeout=20)
        except subprocess.TimeoutExpired:
            e2e.fail("orvella did not end after \"Выход\" in the host's menu")
        if code != 0:
            e2e.fail(f"exit code {code} after \"Выход\"")
        e2e.wait_for("the icon gone from the panel", lambda: not icon_pixels(session, panel) and not host.items())
        session.screenshot("after-exit")


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
