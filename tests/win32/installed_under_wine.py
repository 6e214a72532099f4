#!/usr/bin/python3
"""The Windows program as an administrator installs it and a user meets it,
under Wine: a fresh prefix, Xvfb with trayer as the tray host, the MSI
installed with msiexec /i /qn, then the installed orvella.exe started in the
client namespace of the simulated network (root).

1. A GUI program without a console; its tray icon docks into the tray host,
   the first start shows "Настройки", and the client number typed there is
   stored as HKCU\\Software\\tamsket\\orvella "ClientId" (wine reg query).
2. Connected to its server it writes the six daily logs in
   %LOCALAPPDATA%\\Orvella\\Logs in their formats (CR LF, no BOM); a slow
   gateway brings up its notification.
3. A second start brings up the running one's dialog and ends.
4. "Выход" in the tray menu ends it, and nothing of it is left running.
5. A newer MSI replaces it and keeps the settings, an older one is refused,
   and uninstall leaves no file in Program Files, no shortcut and no Run
   value, but the user's settings and logs.

Wine's performance counters know only the processor: the prefix gets the
test-only pdh.dll stand-in (tests/win32/PdhStandIn.cpp) through a DLL
override, and Wine's own fonts in its Fonts folder. Screenshots land in the
build folder.
Usage: installed_under_wine.py MSI BUILD_MSI STAGE ICON WXS PDH_DLL LAB_TOOL PREFIX OUT_DIR"""
import datetime
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import e2e  # noqa: E402
from wine_session import PROGRAM, WineSession  # noqa: E402

CLIENT = "4720"
SETTINGS = "Настройки"
GATEWAY_WINDOW = "Код ошибки #0001"
SETTINGS_KEY = "HKCU\\Software\\tamsket\\orvella"
RUN_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
# The settings dialog's client area is 305 x 261; the client number field and
# the OK button by their place in it.
DIALOG_CLIENT = (305, 261)
FIELD, OK_BUTTON = (117 + 36, 19 + 10), (64 + 37, 214 + 12)


def shortcuts(session):
    """The Start-menu shortcuts: Windows puts a per-machine one into the common
    Start menu, Wine's msi into the installing user's."""
    return [path for path in (session.drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                                              "Orvella.lnk"),
                              *glob.glob(session.drive_c("users", "*", "AppData", "Roaming", "Microsoft", "Windows",
                                                         "Start Menu", "Programs", "Orvella.lnk")))
            if os.path.exists(path)]


def client_area(session, window):
    """Where a dialog's client area starts on the screen: Wine draws the frame
    and title bar inside the X window when no window manager runs."""
    width, height = DIALOG_CLIENT
    border = (window.width - width) // 2
    return window.x + border, window.y + window.height - height - border


def check_logs(session, lab):
    stamp = r"\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d - "
    head = r": Timeout=4000ms MaxValue=150ms DataSize=1000\. Reply from "
    number = r"(\d+(\.\d+)?(E-?\d+)?)?"
    reply = lambda ip: re.escape(ip) + r": DataSize=1000 RTT=\d+ms TTL=\d+"
    server = f"{CLIENT}{e2e.SERVER_DOMAIN_SUFFIX}"
    formats = {
        "gateway": stamp + rf"Ping gateway \({re.escape(lab['gateway_ip'])}\)" + head + reply(lab["gateway_ip"]),
        "google": stamp + r"Ping google DNS \(8\.8\.8\.8\)" + head + reply("8.8.8.8"),
        "rdp": stamp + rf"Ping {re.escape(server)} \({re.escape(lab['server_ip'])}\)" + head +
        reply(lab["server_ip"]),
        "cpu": stamp + number, "ram": stamp + number, "disk": stamp + number,
    }
    day = datetime.date.today().strftime("%Y.%m.%d")
    for name, pattern in formats.items():
        data = open(os.path.join(session.logs_dir(), f"{day}_{name}.log"), "rb").read()
        if data.startswith(b"\xef\xbb\xbf") or not data.endswith(b"\r\n"):
            e2e.fail(f"{name}: a byte-order mark or a line without CR LF")
        lines = data.decode("utf-8").split("\r\n")[:-1]
        if b"\n" in data.replace(b"\r\n", b""):
            e2e.fail(f"{name}: a line ending without CR")
        for line in lines:
            if not re.fullmatch(pattern, line):
                e2e.fail(f"{name}: unexpected line {line!r}")
        print(f"{name}: {len(lines)} lines, last {lines[-1]!r}")


def journey(msi, build_msi, stage, icon, wxs, pdh, lab_tool, prefix, out_dir):
    for tool in ("wine", "wineserver", "x86_64-w64-mingw32-objdump"):
        if not shutil.which(tool):
            e2e.skip(f"{tool} is not installed (scripts/install-deps)")
    if not os.path.exists(lab_tool):
        e2e.skip(f"the lab tool {lab_tool} of the Linux build is missing (make build first)")
    headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", os.path.join(stage, "orvella.exe")],
                             capture_output=True, text=True, check=True).stdout
    if not re.search(r"^Subsystem\s+00000002\b", headers, re.M):
        e2e.fail("orvella.exe is not a GUI subsystem program: Windows would give it a console window")
    newer_dir = tempfile.mkdtemp(prefix="orvella-msi-")
    try:
        newer = os.path.join(newer_dir, "orvella-upgrade-x64.msi")
        subprocess.run(["/usr/bin/python3", build_msi, stage, newer, "1.0.1", icon, wxs], check=True)
        with WineSession("wine-msi", lab_tool, prefix, out_dir) as session:
            run(session, msi, newer, pdh)
    finally:
        shutil.rmtree(newer_dir, ignore_errors=True)


def run(session, msi, newer, pdh):
    lab = session.lab
    session.make_prefix(pdh)
    session.start_tray()

    started = time.monotonic()
    if session.msiexec("/i", msi) != 0:
        e2e.fail("msiexec /i /qn failed")
    print(f"installed in {time.monotonic() - started:.1f} s: {session.installed_files()}")
    if "orvella.exe" not in session.installed_files():
        e2e.fail("no orvella.exe in Program Files\\Orvella")
    if session.reg_value(RUN_KEY, "Orvella") != f'"{PROGRAM}"':
        e2e.fail(f"HKLM Run value {session.reg_value(RUN_KEY, 'Orvella')!r}, expected the quoted path")
    if not shortcuts(session):
        e2e.fail("no Start-menu shortcut")

    # 1. The first start: the dialog and the tray icon; the client number typed.
    session.connect_client(CLIENT)
    first = session.start()
    dialog = session.wait_window(SETTINGS, timeout=90)
    e2e.wait_for("the tray icon in the tray host", session.tray_icon, timeout=60)
    session.screenshot("settings-and-tray-icon")
    left, top = client_area(session, dialog)
    session.click(left + FIELD[0], top + FIELD[1])
    session.type(dialog, CLIENT)
    session.screenshot("client-number-typed")
    session.click(left + OK_BUTTON[0], top + OK_BUTTON[1])
    session.wait_no_window(SETTINGS)
    stored = session.reg_value(SETTINGS_KEY, "ClientId")
    if stored != CLIENT:
        e2e.fail(f"stored client number {stored!r}, expected {CLIENT!r}")

    # 2. The six daily logs in their formats; a slow gateway's notification.
    e2e.wait_for("the six daily logs", lambda: all(session.log_path(name) for name in e2e.LOG_NAMES), timeout=60)
    time.sleep(3)
    check_logs(session, lab)
    lab.echo(lab["gateway_ip"], "reply 200")
    session.wait_window(GATEWAY_WINDOW, timeout=60)
    session.screenshot("gateway-notification")
    lab.echo(lab["gateway_ip"], "reply 0")

    # 3. A second start hands over to the running one and ends.
    second = session.start()
    if second.wait(timeout=90) != 0 or first.poll() is not None:
        e2e.fail(f"second start ended with {second.returncode}, the first with {first.poll()}")
    session.wait_window(SETTINGS, timeout=30)
    session.screenshot("settings-shown-by-second-start")
    if len(session.running_pids()) != 1:
        e2e.fail(f"orvella.exe processes {session.running_pids()}, expected one")

    # 4. "Выход" from the tray menu ends it, leaving nothing of it running.
    session.exit_by_menu(first, "tray-menu")

    # 5. Upgrade, downgrade, uninstall.
    if session.msiexec("/i", newer) != 0:
        e2e.fail("the upgrade to a newer MSI failed")
    if session.reg_value(SETTINGS_KEY, "ClientId") != CLIENT or "orvella.exe" not in session.installed_files():
        e2e.fail("the upgrade lost the settings or the program")
    timing = session.start()
    logs_before = os.path.getsize(session.log_path("gateway"))
    begun = time.monotonic()
    e2e.wait_for("a new log line", lambda: os.path.getsize(session.log_path("gateway")) > logs_before, timeout=60)
    print(f"start to first log line under Wine: {time.monotonic() - begun:.1f} s")
    session.exit_by_menu(timing)
    if session.msiexec("/i", msi) == 0:
        e2e.fail("an older MSI was installed over a newer one")
    if session.msiexec("/x", newer) != 0:
        e2e.fail("msiexec /x failed")
    if session.installed_files() or shortcuts(session) or session.reg_value(RUN_KEY, "Orvella"):
        e2e.fail(f"uninstall left {session.installed_files()}, the shortcut or the Run value")
    if session.reg_value(SETTINGS_KEY, "ClientId") != CLIENT or not session.logs():
        e2e.fail("uninstall removed the user's settings or logs")


if __name__ == "__main__":
    if os.geteuid() != 0:
        e2e.skip("the simulated network needs root")
    journey(*sys.argv[1:10])
    sys.exit(0)
