#!/usr/bin/python3
"""Started where there is no display (a server, an SSH session, `make run` on a
machine without a desktop): orvella says in one line that it needs a
graphical desktop session and exits 1, with no core dump; `make run`'s
starter says the same. Needs neither root nor an X server."""
import os
import subprocess
import sys
import tempfile

MESSAGE = "needs a graphical desktop session"


def main():
    app, build_dir, source_dir = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory(prefix="orvella-no-display-") as home:
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env.update(HOME=home, XDG_CONFIG_HOME=f"{home}/config", XDG_STATE_HOME=f"{home}/state",
                   XDG_RUNTIME_DIR=home, LANG="C.UTF-8")
        starts = {"orvella": [app],
                  "make run's starter": [os.path.join(source_dir, "scripts", "run-app"), build_dir]}
        for name, command in starts.items():
            try:
                result = subprocess.run(command, env=env, cwd=home, capture_output=True, text=True, timeout=30)
            except subprocess.TimeoutExpired:
                failures.append(f"{name} did not end without a display")
                continue
            lines = result.stderr.splitlines()
            print(f"{name}: exit {result.returncode}, {result.stderr.strip()!r}")
            if result.returncode != 1 or len(lines) != 1 or MESSAGE not in lines[0]:
                failures.append(f"{name} without a display: exit {result.returncode}, standard error "
                                f"{result.stderr.strip()!r}")
        if os.path.exists(f"{home}/state") or os.path.exists(f"{home}/config"):
            failures.append("a start without a display left files in the user's folders")
    for failure in failures:
        print(f"FAILED: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
