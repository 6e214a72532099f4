#!/usr/bin/python3
"""The Windows program, installed from its MSI, started where the system's
counters are switched off ("Disable Performance Counters" set for PerfOS and
PerfDisk, which the test prefix's pdh.dll honours as Windows does): it starts
itself again elevated with "FixCounters", whose window "Настройка счетчиков"
sets both values back to 0 and runs lodctr /R for the 64-bit and the 32-bit
system folders and WINMGMT /RESYNCPERF.
1. winmgmt fails (exit code 2): the window stays open with its log until the
   user closes it; then the waiting monitor starts a fresh one, which now
   finds its counters and monitors.
2. Counters switched off again and every tool succeeding: the window closes by
   itself and the fresh monitor starts."""
import re
import subprocess
import sys
import time

import wine_journey
from wine_journey import e2e, SERVICES_KEY

CLIENT = "4717"
REPAIR = "Настройка счетчиков"
REPAIR_CLIENT = (405, 226)
CLOSE_BUTTON = (170 + 37, 195 + 12)
EXPECTED_CALLS = ["lodctr /R exit 0", "lodctr /R exit 0", "winmgmt /RESYNCPERF exit {}"]
SWITCH = "Disable Performance Counters"


def switch_off_counters(session):
    session.registry([line for service in ("PerfOS", "PerfDisk")
                      for line in (f"[{SERVICES_KEY}\\{service}\\Performance]", f'"{SWITCH}"=dword:00000001')])


def switches(session):
    """Each service's switch as `wine reg query` prints it (its name has blanks)."""
    found = []
    for service in ("PerfOS", "PerfDisk"):
        text = session.wine("reg", "query", f"{SERVICES_KEY}\\{service}\\Performance", "/v", SWITCH).stdout
        match = re.search(re.escape(SWITCH) + r"\s+REG_DWORD\s+(\S+)", text)
        found.append(match.group(1) if match else None)
    return found


def repair_run(session, winmgmt_code, calls_before):
    """Starts the program and waits until the repair's tools have run."""
    session.env["WINMGMT_STAND_IN_EXIT_CODE"] = str(winmgmt_code)
    switch_off_counters(session)
    first = session.start()
    window = session.wait_window(REPAIR, timeout=90)
    e2e.wait_for("the repair's three tools", lambda: len(session.stand_in_calls()) >= calls_before + 3, timeout=60)
    calls = session.stand_in_calls()[calls_before:]
    if calls != [call.format(winmgmt_code) for call in EXPECTED_CALLS]:
        e2e.fail(f"the repair ran {calls}")
    if switches(session) != ["0x0", "0x0"]:
        e2e.fail(f"the counters' switches after the repair: {switches(session)}")
    return first, window


def fresh_monitor(session, first):
    """The first start ends once the repair has; the one it started monitors."""
    try:
        first.wait(timeout=60)
    except subprocess.TimeoutExpired:
        e2e.fail("the start that asked for the repair did not end")
    e2e.wait_for("the fresh monitor's tray icon", session.tray_icon, timeout=60)
    logs = e2e.wait_for("the fresh monitor's processor log", lambda: session.log_path("cpu"), timeout=60)
    size = len(open(logs, "rb").read())
    e2e.wait_for("new samples", lambda: len(open(logs, "rb").read()) > size, timeout=30)
    pids = session.running_pids()
    if len(pids) != 1:
        e2e.fail(f"orvella.exe processes {pids}, expected the one fresh monitor")
    return pids[0]


def journey(world):
    with world.session("counter-repair") as session:
        session.install()
        session.write_settings({"ClientId": CLIENT})
        session.connect_client(CLIENT)
        session.start_tray()

        first, window = repair_run(session, 2, 0)
        time.sleep(3)
        if not session.windows(REPAIR):
            e2e.fail("the repair window closed although winmgmt failed")
        session.screenshot("repair-with-failed-winmgmt")
        left, top = session.client_origin(window, REPAIR_CLIENT)
        session.click(left + CLOSE_BUTTON[0], top + CLOSE_BUTTON[1])
        session.wait_no_window(REPAIR)
        fresh_monitor(session, first)
        session.screenshot("fresh-monitor")
        session.exit_by_menu()

        first, _ = repair_run(session, 0, 3)
        session.wait_no_window(REPAIR, timeout=10)
        fresh_monitor(session, first)
        session.exit_by_menu()


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
