#!/usr/bin/python3
"""The real orvella executable as a user starts it, on an X server of its own:
with empty settings it shows the settings dialog, its tray icon appears once a
tray host does, a second start hands over to it and ends, SIGTERM ends it in
order, and a failing start-up says why. A screenshot goes to the build folder.
With no client number stored no monitor starts, so nothing leaves the machine."""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
APP, SCREENSHOT = sys.argv[1], sys.argv[2]
SETTINGS = re.compile(r'"Настройки": \("orvella"')


def tray_icon_embedded(tree):
    """Whether one of orvella's windows sits inside trayer's panel."""
    lines = tree.splitlines()
    for i, line in enumerate(lines):
        if '("panel" "trayer")' in line:
            indent = len(line) - len(line.lstrip())
            for child in lines[i + 1:]:
                if len(child) - len(child.lstrip()) <= indent:
                    break
                if '("orvella"' in child:
                    return True
    return False


def wait_for(what, predicate, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.2)
    sys.exit(f"FAILED: {what}")


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              pass_fds=[write_end], stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number.isdigit():
        server.kill()
        print("skipped: Xvfb did not start")
        sys.exit(SKIP)
    return server, ":" + number


def main():
    for tool in ("Xvfb", "trayer", "xwininfo", "import"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is not installed (scripts/install-deps)")
            return SKIP
    with tempfile.TemporaryDirectory(prefix="orvella-e2e-") as home:
        env = {k: v for k, v in os.environ.items() if k not in ("DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY")}
        for name in ("XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"):
            env[name] = os.path.join(home, name.lower())
            os.mkdir(env[name], 0o700)

        # A start-up that cannot have its log folder ends before any window, saying why.
        broken = dict(env, QT_QPA_PLATFORM="offscreen", XDG_STATE_HOME=os.path.join(home, "not-a-folder"))
        open(broken["XDG_STATE_HOME"], "w").close()
        failed = subprocess.run([APP], env=broken, capture_output=True, text=True, timeout=30)
        if failed.returncode == 0 or "Unable to locate CSIDL_LOCAL_APPDATA" not in failed.stderr:
            sys.exit(f"FAILED: start-up failure not reported: {failed.returncode} {failed.stderr!r}")

        server, display = start_xvfb()
        env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb")
        tree = lambda: subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True, text=True).stdout
        app = tray = None
        try:
            app = subprocess.Popen([APP], env=env)
            wait_for("the settings dialog at first start", lambda: SETTINGS.search(tree()))
            if tray_icon_embedded(tree()):
                sys.exit("FAILED: a tray icon without a tray host")
            tray = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
                                     "--height", "32", "--transparent", "false", "--tint", "0x404040"],
                                    env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for("the tray icon once a tray host runs", lambda: tray_icon_embedded(tree()))

            second = subprocess.run([APP], env=env, timeout=30)
            if second.returncode != 0 or app.poll() is not None:
                sys.exit(f"FAILED: second start {second.returncode}, first {app.poll()}")

            time.sleep(0.5)
            subprocess.run(["import", "-window", "root", SCREENSHOT], env=env, check=True)
            print(f"screenshot: {SCREENSHOT}")

            app.send_signal(signal.SIGTERM)
            if app.wait(timeout=20) != 0:
                sys.exit(f"FAILED: exit code {app.returncode} after SIGTERM")
            with open(os.path.join(env["XDG_CONFIG_HOME"], "tamsket", "orvella.conf")) as stored:
                if "ClientId" in stored.read():
                    sys.exit("FAILED: a client number stored though none was entered")
        finally:
            for process in (app, tray, server):
                if process and process.poll() is None:
                    process.kill()
                    process.wait()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
