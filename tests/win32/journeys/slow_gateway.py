#!/usr/bin/python3
"""The Windows program, installed from its MSI, with a gateway that answers
after 200 ms while the user works in another program (Notepad, which has the
keyboard focus): window #0001 appears in the bottom-right corner of the work
area, above Notepad, and never takes the focus from it, neither when it
appears nor when it is refreshed; it is the one problem window while the
problem lasts, and closes by itself about 5 s after its last refresh."""
import subprocess
import sys
import time

import wine_journey
from wine_journey import e2e
from SlowGateway import CLIENT, GATEWAY_WINDOW, SCREEN, GatewayLog, watch_until_closed

NOTEPAD_CLASS = '("notepad.exe" "notepad.exe")'


def focus(session):
    return session.x("xdotool", "getwindowfocus").strip()


def stacking(session):
    """The top-level X windows' ids, bottom first."""
    return [line.split()[0] for line in session.x("xwininfo", "-root", "-children").splitlines()
            if line.startswith("     0x")]


def journey(world):
    with world.session("slow-gateway") as session:
        session.install()
        lab = session.lab
        lab.echo(lab["gateway_ip"], "reply 200")
        notepad = subprocess.Popen(session.command(["wine", "notepad"]), env=session.env)
        session.processes.append(notepad)
        editor = e2e.wait_for("Notepad", lambda: (session.windows(".+", NOTEPAD_CLASS) or [None])[0], timeout=60)
        session.x("xdotool", "windowfocus", "--sync", editor.id)
        session.x("xdotool", "type", "--delay", "40", "typing")
        kept = focus(session)
        session.start_monitoring(CLIENT, e2e.load_monitors_off())

        window = session.wait_window(GATEWAY_WINDOW, timeout=90)
        right, bottom = window.x + window.width, window.y + window.height
        if not (SCREEN[0] - 40 <= right <= SCREEN[0] and SCREEN[1] - 80 <= bottom <= SCREEN[1]):
            e2e.fail(f"the window is not in the bottom-right corner of the work area: {window}")
        session.x("xdotool", "windowraise", editor.id)
        time.sleep(1)
        order = stacking(session)
        if order.index(window.id) < order.index(editor.id):
            e2e.fail("window #0001 is not above Notepad once Notepad was raised: not top-most")
        lab.echo(lab["gateway_ip"], "reply 0")
        session.screenshot("gateway-slow-over-notepad")

        def keeps_focus():
            if focus(session) != kept:
                e2e.fail(f"the keyboard focus moved from Notepad ({kept}) to {focus(session)}")

        watch_until_closed(session, GatewayLog(session.log_path("gateway")), keeps_focus)
        keeps_focus()
        session.screenshot("gateway-recovered")


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
