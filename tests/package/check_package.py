"""The Debian package as a customer meets it: lintian finds no errors in it,
`apt-get install ./orvella_...deb` installs it, the installed program runs
under Xvfb as an ordinary user and pings loopback, and a purge leaves nothing.

The program runs in a network namespace of its own with only loopback up and
unprivileged ICMP sockets switched off there (net.ipv4.ping_group_range
"1 0"), so its round trips can only come through the raw socket that the
package's CAP_NET_RAW opens. The settings name a client whose server resolves
to 127.0.0.1, and a TCP connection to 127.0.0.1:3389 is held open for it:
the rdp log must then show replies from 127.0.0.1. No packet leaves the
namespace: it has no route but loopback's.

    check_package.py BUILD_DIR HAS_EXECUTABLE(0/1)      (root; exit 77 = skipped)
"""
import fcntl
import glob
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PACKAGE = "orvella"
EXECUTABLE = "/usr/bin/orvella"
CLIENT_ID = "pkgcheck"
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_support import SKIP, start_xvfb  # noqa: E402
APT = ["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=300"]
APT_ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
# Kept until the package is gone again: a guard that finds it purges.
MARKER = "/run/orvella-package-check.installed"


def run(args, **kwargs):
    kwargs.setdefault("check", True)
    return subprocess.run(args, text=True, **kwargs)


def installed():
    result = run(["dpkg-query", "-W", "-f=${Status}", PACKAGE], capture_output=True, check=False)
    return result.returncode == 0 and "installed" in result.stdout and "not-installed" not in result.stdout


def server_domain_suffix(build):
    with open(os.path.join(build, "generated/base/FixedValues.h"), encoding="utf-8") as f:
        return re.search(r'ServerDomainSuffix = "([^"]*)"', f.read()).group(1)


def start_guard():
    """A detached shell that purges the package and removes the user once this
    process is gone, should it end without its own clean-up (killed)."""
    script = (f'while kill -0 {os.getpid()} 2>/dev/null; do sleep 1; done; '
              f'if [ -e {MARKER} ]; then '
              f'  . {MARKER}; '
              f'  DEBIAN_FRONTEND=noninteractive {" ".join(APT)} purge {PACKAGE} >/dev/null 2>&1; '
              f'  [ -n "$user" ] && userdel "$user" >/dev/null 2>&1; '
              f'  [ -n "$netns" ] && ip netns del "$netns" >/dev/null 2>&1 && rm -rf "/etc/netns/$netns"; '
              f'  rm -f {MARKER}; '
              f'fi')
    subprocess.Popen(["setsid", "sh", "-c", script], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, start_new_session=True)


class Check:
    def __init__(self, build, work):
        self.build = build
        self.work = work
        self.failures = []
        self.processes = []
        self.user = f"orvpkg{os.getpid()}"
        self.netns = f"orvpkg{os.getpid()}"

    def fail(self, text):
        print("FAILED: " + text)
        self.failures.append(text)

    def build_package(self):
        out = os.path.join(self.work, "deb")
        run(["cpack", "-G", "DEB", "--config", os.path.join(self.build, "CPackConfig.cmake"), "-B", out],
            stdout=subprocess.DEVNULL)
        debs = glob.glob(os.path.join(out, f"{PACKAGE}_*-1_amd64.deb"))
        if len(debs) != 1:
            raise RuntimeError(f"cpack made {debs}")
        return debs[0]

    def lintian(self, deb):
        result = run(["lintian", "--tag-display-limit", "0", deb], capture_output=True, check=False)
        print("lintian says:\n" + (result.stdout.strip() or "(nothing)"))
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        if errors:
            self.fail(f"lintian reports {len(errors)} errors")

    def install(self, deb):
        with open(MARKER, "w") as f:
            f.write(f"user={self.user}\nnetns={self.netns}\n")
        run(APT + ["install", "--no-install-recommends", deb], env=APT_ENV, stdout=subprocess.DEVNULL)
        caps = run(["getcap", EXECUTABLE], capture_output=True).stdout
        print("getcap: " + caps.strip())
        if "cap_net_raw" not in caps or not re.search(r"cap_net_raw[=+]e?p", caps):
            self.fail(f"{EXECUTABLE} lacks cap_net_raw+ep")
        if os.stat(EXECUTABLE).st_mode & 0o6000:
            self.fail(f"{EXECUTABLE} is setuid or setgid")

    def make_world(self):
        home = os.path.join(self.work, "home")
        run(["useradd", "--no-create-home", "--home-dir", home, "--shell", "/usr/sbin/nologin", self.user])
        entry = pwd.getpwnam(self.user)
        os.makedirs(os.path.join(home, ".config/tamsket"))
        with open(os.path.join(home, ".config/tamsket/orvella.conf"), "w") as f:
            f.write(f"orvella-settings 1\nsz ClientId={CLIENT_ID}\nend\n")
        for folder, _, files in os.walk(home):
            for name in [folder] + [os.path.join(folder, n) for n in files]:
                os.chown(name, entry.pw_uid, entry.pw_gid)
        os.chmod(self.work, 0o755)

        run(["ip", "netns", "add", self.netns])
        run(["ip", "-n", self.netns, "link", "set", "lo", "up"])
        run(["ip", "netns", "exec", self.netns, "sysctl", "-q", "-w", "net.ipv4.ping_group_range=1 0"])
        etc = f"/etc/netns/{self.netns}"
        os.makedirs(etc, exist_ok=True)
        server = CLIENT_ID + server_domain_suffix(self.build)
        with open(f"{etc}/hosts", "w") as f:
            f.write(f"127.0.0.1 localhost\n127.0.0.1 {server}\n")
        with open(f"{etc}/resolv.conf", "w") as f:
            f.write("nameserver 127.0.0.1\n")
        return home, entry

    def spawn(self, args, **kwargs):
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, **kwargs)
        self.processes.append(process)
        return process

    def run_program(self, home, entry):
        # The server's remote-desktop connection, held open in the namespace.
        holder = ("import socket, time\n"
                  "l = socket.socket(); l.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                  "l.bind(('127.0.0.1', 3389)); l.listen(4)\n"
                  "c = socket.create_connection(('127.0.0.1', 3389)); print('up', flush=True); time.sleep(120)\n")
        connection = self.spawn(["ip", "netns", "exec", self.netns, "/usr/bin/python3", "-c", holder],
                                stdout=subprocess.PIPE, text=True)
        if connection.stdout.readline().strip() != "up":
            raise RuntimeError("no connection to 127.0.0.1:3389 in the namespace")

        _, display = start_xvfb(["-nolisten", "tcp", "-screen", "0", "1280x800x24"], spawn=self.spawn)
        if display is None:
            raise RuntimeError("Xvfb did not start")

        env = ["env", "-i", f"HOME={home}", f"USER={self.user}", f"DISPLAY=:{display}", "PATH=/usr/bin:/bin",
               "LANG=C.UTF-8"]
        # ip and setpriv each become the next program: the process is the program's.
        user = ["setpriv", f"--reuid={entry.pw_uid}", f"--regid={entry.pw_gid}", "--init-groups", "--"]
        program = self.spawn(["ip", "netns", "exec", self.netns] + user + env + [EXECUTABLE],
                             stdout=open(os.path.join(self.work, "program.txt"), "w"), stderr=subprocess.STDOUT)
        logs = os.path.join(home, ".local/state/Orvella/Logs")
        deadline = time.monotonic() + 30
        replies = []
        while time.monotonic() < deadline and program.poll() is None and len(replies) < 3:
            time.sleep(0.5)
            replies = []
            for log in glob.glob(os.path.join(logs, "*_rdp.log")):
                with open(log, encoding="utf-8", errors="replace") as f:
                    replies += [line for line in f if "Reply from 127.0.0.1" in line and "RTT=" in line]
        if program.poll() is not None:
            with open(os.path.join(self.work, "program.txt")) as f:
                self.fail(f"the installed program ended with {program.returncode}: {f.read()[-2000:]}")
        elif len(replies) < 3:
            rdp = glob.glob(os.path.join(logs, "*_rdp.log"))
            text = open(rdp[0]).read()[-1000:] if rdp else "no rdp log"
            self.fail(f"no round trips to 127.0.0.1 by the ordinary user: {text}")
        else:
            print(f"the installed program, as user {self.user} ({entry.pw_uid}), logged: {replies[-1].strip()}")
        owner = os.stat(logs).st_uid if os.path.isdir(logs) else None
        if owner is not None and owner != entry.pw_uid:
            self.fail("the logs do not belong to the user")

    def purge(self):
        files = run(["dpkg", "-L", PACKAGE], capture_output=True).stdout.split("\n")
        run(APT + ["purge", PACKAGE], env=APT_ENV, stdout=subprocess.DEVNULL)
        listed = run(["dpkg", "-L", PACKAGE], capture_output=True, check=False)
        if listed.returncode == 0 and listed.stdout.strip():
            self.fail("dpkg still lists files of the package after the purge")
        left = [f for f in files if f and os.path.lexists(f) and not os.path.isdir(f)]
        left += [f for f in ("/etc/xdg/autostart/orvella.desktop", EXECUTABLE) if os.path.lexists(f)]
        if left:
            self.fail(f"the purge left {sorted(set(left))}")
        else:
            print(f"purged: none of its {len([f for f in files if f])} paths left but shared folders")
        os.remove(MARKER)

    def clean_up(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
            process.wait()
        run(["userdel", self.user], check=False, stderr=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        run(["ip", "netns", "del", self.netns], check=False, stderr=subprocess.DEVNULL)
        shutil.rmtree(f"/etc/netns/{self.netns}", ignore_errors=True)
        if os.path.exists(MARKER):
            if installed():
                run(APT + ["purge", PACKAGE], env=APT_ENV, stdout=subprocess.DEVNULL, check=False)
            os.remove(MARKER)


def main():
    if os.geteuid() != 0:
        print("skipped: installing a package needs root")
        return SKIP
    for tool in ("cpack", "lintian", "apt-get", "getcap", "useradd", "Xvfb", "setpriv", "ip"):
        if not shutil.which(tool):
            print(f"skipped: {tool} is missing (scripts/install-deps installs it)")
            return SKIP
    if sys.argv[2] != "1":
        print("skipped: the application is not part of this build")
        return SKIP
    lock = open("/run/lock/orvella-package-check.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    if installed():
        print(f"skipped: {PACKAGE} is installed on this machine already; the check does not replace it")
        return SKIP
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    start_guard()
    with tempfile.TemporaryDirectory(prefix="orvella-package-") as work:
        check = Check(sys.argv[1], work)
        try:
            deb = check.build_package()
            check.lintian(deb)
            check.install(deb)
            home, entry = check.make_world()
            check.run_program(home, entry)
            check.purge()
        finally:
            check.clean_up()
    print("package: " + ("FAILED" if check.failures else "ok"))
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
