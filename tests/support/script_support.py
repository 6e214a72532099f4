"""What the script tests (e2e, integration, package, win32) share: the exit
code of a skipped test, waits, an X server of their own and walks through
/proc. A script finds this module beside tests/support's C++ pieces:

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
"""
import os
import subprocess
import sys
import time

# CTest counts a script that exits with this code as skipped.
SKIP = 77


def skip(reason):
    print(f"skipped: {reason}")
    sys.exit(SKIP)


def poll(predicate, timeout, interval=0.1):
    """The predicate's first true value within timeout seconds; its last,
    false value once they have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


def start_xvfb(arguments, spawn=subprocess.Popen):
    """Xvfb on a display it picks itself, with its further arguments;
    (process, display number as text), the number None when it did not start.
    spawn starts it (a caller's own, to end it with the caller's helpers)."""
    read_end, write_end = os.pipe()
    server = spawn(["Xvfb", "-displayfd", str(write_end)] + list(arguments), pass_fds=(write_end,),
                   stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    return server, number if number.isdigit() else None


def processes(test):
    """The pids of the running processes for which test(pid) holds; one that
    ends meanwhile or cannot be read is left out."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if test(int(entry)):
                found.append(int(entry))
        except OSError:
            pass
    return found


def read_proc(pid, name):
    """The bytes of /proc/PID/NAME (environ, cmdline...)."""
    with open(f"/proc/{pid}/{name}", "rb") as f:
        return f.read()
