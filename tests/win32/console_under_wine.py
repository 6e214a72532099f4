#!/usr/bin/python3
"""The engine's console runner, built for Windows, under Wine for a few seconds.

Runs in a network namespace of its own (root): 127.0.0.1 is the gateway (the
default route points at it) and the server (the test holds a TCP connection
to 127.0.0.1:3389), and 8.8.8.8 sits on the namespace's loopback, so no packet
leaves. Then checks the daily logs in the prefix's local application data.
Usage: console_under_wine.py WINE_RUN CONSOLE_EXE PREFIX
"""
import datetime
import glob
import os
import re
import shutil
import socket
import subprocess
import sys

SECONDS = 8
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_support import SKIP  # noqa: E402


def inside(wine_run, console, prefix):
    for command in (["ip", "link", "set", "lo", "up"], ["ip", "addr", "add", "8.8.8.8/32", "dev", "lo"],
                    ["ip", "route", "add", "default", "via", "127.0.0.1", "dev", "lo"]):
        subprocess.run(command, check=True)
    listener = socket.create_server(("127.0.0.1", 3389))
    client = socket.create_connection(("127.0.0.1", 3389))
    server, _ = listener.accept()

    shutil.rmtree(prefix, ignore_errors=True)
    # Wine's PDH knows only the processor counter, and the loop cannot start
    # without all three: the load monitors get a stand-in value.
    print("Wine lacks the memory and disk performance counters: the load monitors log a stand-in value")
    run = subprocess.run([wine_run, prefix, console, "127.0.0.1", "--seconds", str(SECONDS), "--stand-in-counters"],
                         capture_output=True, text=True, timeout=400)
    print(run.stdout)
    print(run.stderr[-3000:], file=sys.stderr)
    for s in (server, client, listener):
        s.close()
    subprocess.run(["env", f"WINEPREFIX={prefix}", "wineserver", "-k"], stderr=subprocess.DEVNULL)
    if run.returncode != 0:
        print(f"console runner ended with {run.returncode}")
        return 1
    if "started 127.0.0.1" not in run.stdout or "stopped" not in run.stdout:
        print("the runner did not start and stop cleanly")
        return 1

    folders = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local", "Orvella", "Logs"))
    if len(folders) != 1:
        print("no log folder under the prefix's local application data")
        return 1
    logs = folders[0]
    day = datetime.date.today().strftime("%Y.%m.%d")
    stamp = r"\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d - "
    head = r": Timeout=4000ms MaxValue=150ms DataSize=1000\. Reply from "
    number = r"\d+(\.\d+)?(E-?\d+)?"
    formats = {
        "gateway": stamp + r"Ping gateway \(127\.0\.0\.1\)" + head + r"127\.0\.0\.1: DataSize=1000 RTT=\d+ms TTL=\d+",
        "google": stamp + r"Ping google DNS \(8\.8\.8\.8\)" + head + r"8\.8\.8\.8: DataSize=1000 RTT=\d+ms TTL=\d+",
        "rdp": stamp + r"Ping 127\.0\.0\.1 \(127\.0\.0\.1\)" + head + r"127\.0\.0\.1: DataSize=1000 RTT=\d+ms TTL=\d+",
        "cpu": stamp + r"(1\.5)?",
        "ram": stamp + number,
        "disk": stamp + r"(1\.5)?",
    }
    failed = 0
    for name, pattern in formats.items():
        path = os.path.join(logs, f"{day}_{name}.log")
        if not os.path.exists(path):
            print(f"missing {path}")
            failed = 1
            continue
        data = open(path, "rb").read()
        if data.startswith(b"\xef\xbb\xbf") or not data.endswith(b"\r\n"):
            print(f"{name}: a byte-order mark or a line without CR LF")
            failed = 1
        lines = data.decode("utf-8").split("\r\n")[:-1]
        if not 2 <= len(lines) <= SECONDS + 1:
            print(f"{name}: {len(lines)} lines in {SECONDS} seconds")
            failed = 1
        for line in lines:
            if not re.fullmatch(pattern, line):
                print(f"{name}: unexpected line {line!r}")
                failed = 1
        print(f"{name}: {len(lines)} lines, last {lines[-1] if lines else ''!r}")
    return failed


def main():
    if len(sys.argv) == 5 and sys.argv[4] == "--inside":
        return inside(*sys.argv[1:4])
    if os.geteuid() != 0:
        print("skipped: a network namespace of its own needs root")
        return SKIP
    return subprocess.run(["unshare", "-n", sys.executable, __file__, *sys.argv[1:4], "--inside"]).returncode


if __name__ == "__main__":
    sys.exit(main())
