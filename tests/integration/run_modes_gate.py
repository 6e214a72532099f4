#!/usr/bin/python3
"""The run-mode gate of the real executable, as root in private mount namespaces.

With its counters available the program runs as the monitor and starts no
second process. With the system disk's I/O statistics switched off (a file
reading 0 bind-mounted over queue/iostats), the disk counter does not open:
the program starts itself in the repair mode (as root without a prompt), the
repair switches the statistics back on, closes by itself, and a fresh monitor
starts. Usage: run_modes_gate.py EXECUTABLE
"""
import os
import subprocess
import sys
import tempfile
import time
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_support import SKIP, poll, processes, read_proc  # noqa: E402


def disk_of(path):
    """The whole disk under path, or None when no block device holds it."""
    dev = os.stat(path).st_dev
    link = f"/sys/dev/block/{os.major(dev)}:{os.minor(dev)}"
    if not os.path.exists(link):
        return None
    folder = os.path.realpath(link)
    if os.path.exists(os.path.join(folder, "partition")):
        folder = os.path.dirname(folder)
    return os.path.basename(folder)


def processes_with(marker):
    """Pids of the processes whose environment carries marker."""
    return processes(lambda pid: marker.encode() in read_proc(pid, "environ"))


def command_line(pid):
    return read_proc(pid, "cmdline").split(b"\0")[:-1]


def run(executable, workdir, setup, seconds):
    """Starts executable in a private mount namespace after the shell lines of
    setup; returns the marker of its environment and the started process."""
    marker = "ORVELLA_GATE_TEST=" + uuid.uuid4().hex
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=workdir, XDG_CONFIG_HOME=f"{workdir}/config",
               XDG_STATE_HOME=f"{workdir}/state", XDG_RUNTIME_DIR=f"{workdir}/runtime")
    env[marker.split("=")[0]] = marker.split("=")[1]
    os.makedirs(f"{workdir}/runtime", mode=0o700, exist_ok=True)
    script = f"set -e; mount --make-rprivate /; {setup}; exec \"$0\""
    started = subprocess.Popen(["unshare", "--mount", "--propagation", "private", "sh", "-c", script, executable],
                               env=env, cwd=workdir, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return marker, started


def end(pids):
    for pid in pids:
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass


def main():
    executable = os.path.realpath(sys.argv[1])
    if os.geteuid() != 0:
        print("skipped: mount namespaces need root")
        return SKIP
    disk = disk_of("/usr/bin")
    iostats = f"/sys/block/{disk}/queue/iostats" if disk else None
    if not iostats or not os.path.exists(iostats):
        print("skipped: no disk with switchable statistics holds /usr/bin")
        return SKIP
    failures = []
    with tempfile.TemporaryDirectory() as workdir:
        # Counters available: the monitor runs, and nothing else starts.
        marker, started = run(executable, workdir, "true", 10)
        try:
            time.sleep(3)
            pids = processes_with(marker)
            if started.poll() is not None:
                failures.append(f"the monitor ended: {started.returncode} {started.stderr.read().decode()}")
            others = [pid for pid in pids if pid != started.pid]
            if others:
                failures.append(f"a second process started: {[command_line(pid) for pid in others]}")
        finally:
            end(processes_with(marker))
            started.wait()

        # The disk's statistics switched off.
        switch = os.path.join(workdir, "iostats")
        with open(switch, "w") as file:
            file.write("0\n")
        marker, started = run(executable, workdir, f"mount --bind {switch} {iostats}", 30)
        try:
            try:
                started.wait(timeout=30)
            except subprocess.TimeoutExpired:
                failures.append("the relaunch did not end after the repair")
            else:
                if started.returncode != 0:
                    failures.append(f"the relaunch failed: {started.returncode} {started.stderr.read().decode()}")
            with open(switch) as file:
                if file.read().strip() != "1":
                    failures.append("the repair did not switch the statistics on")
            if not poll(lambda: any(command_line(pid) == [executable.encode()]
                                    for pid in processes_with(marker)), 10):
                failures.append("no fresh monitor started after the repair")
            time.sleep(1)
            repairs = [pid for pid in processes_with(marker) if b"FixCounters" in command_line(pid)]
            if repairs:
                failures.append("the repair did not close by itself")
        finally:
            end(processes_with(marker))
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
