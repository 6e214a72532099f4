#!/usr/bin/python3
"""A gateway that answers after 200 ms: window #0001 appears in the corner of
the screen, stays open while the problem lasts and is never duplicated. The
gateway recovers at once, but its slow replies count until they have aged out
of the last 100 verdicts; the window then closes by itself 5 s after its last
refresh."""
import re
import sys
import time

import e2e

CLIENT = "4713"
GATEWAY_WINDOW = "Код ошибки #0001"
ANY_PROBLEM = r"Код ошибки #\d{4}"
SCREEN = (1024, 768)


class GatewayLog:
    """The gateway's log as it grows: each sample's verdict and when it was seen."""

    def __init__(self, path):
        self.path, self.verdicts, self.seen, self.lines = path, [], [], 0

    def read(self):
        with open(self.path) as file:
            lines = file.read().splitlines()
        for line in lines[self.lines:]:
            rtt = re.search(r"RTT=(\d+)ms", line)
            self.verdicts.append("ok" if rtt and int(rtt.group(1)) <= 150 else "slow" if rtt else "error")
            self.seen.append(time.monotonic())
        self.lines = len(lines)

    def last_problem(self):
        """When the last sample was seen after which the pinger still asked
        for a notification: 3 errors among the last 100 verdicts, 3 slow ones
        among the oldest 20 of them or 10 slow ones in all."""
        last = None
        for n in range(len(self.verdicts)):
            window = self.verdicts[max(0, n - 99):n + 1]
            if (window.count("error") >= 3 or window[:20].count("slow") >= 3 or window.count("slow") >= 10):
                last = self.seen[n]
        return last


def watch_until_closed(session, log, check=lambda: None):
    """Watches the gateway's window until it closes: the only problem window
    all along (check() runs on each look), closed about 5 s after the last
    sample that kept the problem alive. The gateway answers at once again,
    but the slow replies stay among the last 100 verdicts, so the problem
    lasts until they have aged out."""
    while True:
        shown = [w.name for w in session.windows(ANY_PROBLEM)]
        if not shown:
            break
        if shown != [GATEWAY_WINDOW]:
            e2e.fail(f"while the gateway problem lasts the windows are {shown}")
        check()
        log.read()
        if log.lines > 130:
            e2e.fail("the window stays open long after the problem ended")
        time.sleep(0.2)
    closed = time.monotonic()
    time.sleep(2)
    log.read()
    last_refresh = log.last_problem()
    if last_refresh is None or log.lines < 100:
        e2e.fail(f"the window closed after {log.lines} samples while the problem lasted")
    after = closed - last_refresh
    if not 4.0 <= after <= 6.5:
        e2e.fail(f"the window closed {after:.1f} s after its last refresh, expected 5 s")
    if session.windows(ANY_PROBLEM):
        e2e.fail("a problem window after the gateway recovered")


def journey(app, build_dir, lab_tool):
    with e2e.Session("slow-gateway", app, build_dir, lab_tool) as session:
        lab = session.lab
        lab.echo(lab["gateway_ip"], "reply 200")
        session.start_monitoring(CLIENT, e2e.load_monitors_off())

        window = session.wait_window(GATEWAY_WINDOW, timeout=30)
        right, bottom = window.x + window.width, window.y + window.height
        if not (SCREEN[0] - 40 <= right <= SCREEN[0] and SCREEN[1] - 80 <= bottom <= SCREEN[1]):
            e2e.fail(f"the window is not in the bottom right corner: {window}")
        gateway_log = session.log_path("gateway")
        lab.echo(lab["gateway_ip"], "reply 0")
        session.screenshot("gateway-slow")

        watch_until_closed(session, GatewayLog(gateway_log))
        session.screenshot("gateway-recovered")


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
