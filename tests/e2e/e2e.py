"""What every end-to-end journey needs: a temporary home, an X server of its
own with a tray host, the simulated network held by orvella_netlab_host, the
real orvella started in the lab's client namespace, a look at its windows and
logs, clicks and typing as a user would, screenshots into the build folder,
and a clean-up that leaves no process behind.

A journey is a script that builds a Session and calls fail() when something is
wrong; it exits 77 with the reason when root or an X tool is missing."""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_support import SKIP, poll, processes, skip, start_xvfb  # noqa: E402,F401
TOOLS = ("Xvfb", "trayer", "xwininfo", "xprop", "xdotool", "import", "ip")
SERVER_DOMAIN_SUFFIX = ".rdp.orvella.example"
SMTP_HOST = "smtp.orvella.example"
APP_CLASS = '("orvella" "orvella")'
# One log file a day for each of the six monitors.
LOG_NAMES = ("gateway", "google", "rdp", "cpu", "ram", "disk")
TREE_LINE = re.compile(r'^(\s*)(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \((.*?)\)\s+'
                       r'(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+?(-?\d+)\+?(-?\d+)')


class Failure(Exception):
    pass


def load_monitors_off():
    """Settings that switch off the processor, memory and disk monitors: this
    machine's own load is no part of a journey."""
    return {f"DisableMonitoring_{name}": True for name in ("cpu", "ram", "disk")}


def fail(what):
    raise Failure(what)


def wait_for(what, predicate, timeout=20.0, interval=0.2):
    """The predicate's first true value; fails with `what` after `timeout` s."""
    value = poll(predicate, timeout, interval)
    if not value:
        fail(f"timed out: {what}")
    return value


class Window:
    """A line of "xwininfo -root -tree": the id, title, class and the size and
    place on the screen."""

    def __init__(self, match):
        _, self.id, title, self.wclass, width, height, x, y = match.groups()
        self.name = title or ""
        self.width, self.height, self.x, self.y = int(width), int(height), int(x), int(y)

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2

    def __repr__(self):
        return f"{self.id} {self.name!r} {self.width}x{self.height}+{self.x}+{self.y}"


class Lab:
    """The simulated network, held by orvella_netlab_host for as long as this lives."""

    def __init__(self, tool, mail=False):
        args = [tool] + (["--mail"] if mail else [])
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        info = json.loads(line) if line.startswith("{") else {"error": line or "no answer"}
        if "skip" in info:
            self.close()
            skip(info["skip"])
        if "error" in info:
            self.close()
            fail(f"the lab was not built: {info['error']}")
        self.info = info

    def __getitem__(self, key):
        return self.info[key]

    def command(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().strip()
        if answer != "ok":
            fail(f"lab command {line!r}: {answer or 'no answer'}")

    def echo(self, address, mode):
        """mode: "reply <ms>", "silent" or "unreachable"."""
        self.command(f"echo {address} {mode}")

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Session:
    """One journey's desktop, lab and orvella processes; a context manager."""

    def __init__(self, journey, app, build_dir, lab_tool, mail=False):
        self.journey, self.app, self.build_dir = journey, os.path.realpath(app), build_dir
        self.lab_tool, self.mail = lab_tool, mail
        self.lab = None
        self.processes = []
        self.helpers = []
        self.home = None
        self.env = None
        self.step = 0

    # -- set-up and clean-up ------------------------------------------------------------

    def __enter__(self):
        if os.geteuid() != 0:
            skip("the journeys need root (network namespaces for the simulated network)")
        for tool in TOOLS:
            if not shutil.which(tool):
                skip(f"{tool} is not installed (scripts/install-deps)")
        self.started = time.monotonic()
        self.home = tempfile.mkdtemp(prefix=f"orvella-e2e-{self.journey}-")
        self.env = {k: v for k, v in os.environ.items() if k not in ("DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY",
                                                                    "SESSION_MANAGER")}
        for name in ("XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"):
            self.env[name] = os.path.join(self.home, name.lower())
            os.mkdir(self.env[name], 0o700)
        self.env.update(HOME=self.home, QT_QPA_PLATFORM="xcb", LANG="C.UTF-8")
        try:
            self.lab = Lab(self.lab_tool, self.mail)
            self.env["DISPLAY"] = self._start_xvfb()
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def __exit__(self, kind, error, trace):
        left = []
        for process in self.processes:
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    left.append(process.pid)
                    process.kill()
                    process.wait()
        for process in reversed(self.helpers):
            if process.poll() is None:
                process.kill()
            process.wait()
        stray = []
        if self.lab:
            # Whatever still runs in the client's namespace was left behind
            # (the children of orvella that end with it get a moment for that).
            for _ in range(20):
                stray = self.client_pids()
                if not stray:
                    break
                time.sleep(0.1)
            for pid in stray:
                os.kill(pid, signal.SIGKILL)
            self.lab.close()
        if self.home:
            shutil.rmtree(self.home, ignore_errors=True)
        if kind is Failure:
            print(f"FAILED: {error}")
            sys.exit(1)
        if kind is None and (left or stray):
            print(f"FAILED: orvella did not end on SIGTERM {left}, processes left behind {stray}")
            sys.exit(1)
        if kind is None:
            print(f"passed in {time.monotonic() - self.started:.1f} s")
        return False

    def _start_xvfb(self):
        # The X server stays in this machine's own namespace, where its
        # abstract socket name is unique; one started in another namespace
        # would pick a number already in use and replace that server's socket
        # file in /tmp/.X11-unix.
        server, number = start_xvfb(["-screen", "0", "1024x768x24", "-nolisten", "tcp"])
        self.helpers.append(server)
        if number is None:
            skip("Xvfb did not start")
        # Programs in the client's namespace reach it only through its socket
        # file; a link to it in a folder of our own, mounted over
        # /tmp/.X11-unix for them, keeps them on this server whatever happens
        # to the shared folder.
        self.x11_dir = os.path.join(self.home, "x11-unix")
        os.mkdir(self.x11_dir)
        os.link(f"/tmp/.X11-unix/X{number}", os.path.join(self.x11_dir, f"X{number}"))
        return ":" + number

    def spawn(self, host, args, **popen):
        """Starts a helper program in a host's namespace of the lab ("client",
        "server", "mail", ...), or in this machine's own with host None; it is
        killed at the clean-up."""
        prefix = ["ip", "netns", "exec", self.lab[host]] if host else []
        process = subprocess.Popen(prefix + list(args), env=self.env, **popen)
        self.helpers.append(process)
        return process

    def start_tray(self):
        """trayer at the top right, as a desktop's panel would hold the icon;
        with no window manager to keep windows off a panel, the top edge keeps
        it clear of the notifications in the bottom right corner."""
        self.spawn(None, ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                          "--height", "32", "--transparent", "false", "--tint", "0x404040"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def connect_client(self, client):
        """Makes the client's server name (client number + the domain suffix)
        and, with a mail host, the mail server's name resolve in the lab, and
        opens the TCP connection to the server that a remote-desktop session
        holds: the monitors sample only while it is there."""
        self.lab.command(f"host {client}{SERVER_DOMAIN_SUFFIX} {self.lab['server_ip']}")
        if self.mail:
            self.lab.command(f"host {SMTP_HOST} {self.lab['mail_ip']}")
        self.lab.command("connect")

    # -- the settings store, the logs ---------------------------------------------------

    def settings_file(self):
        return os.path.join(self.env["XDG_CONFIG_HOME"], "tamsket", "orvella.conf")

    def write_settings(self, values):
        """Stores values before the start: str as text, bool and int as numbers."""
        def escape(text):
            return "".join(f"%{b:02X}" if b <= 0x20 or b == 0x7F or chr(b) in "%=" else chr(b)
                           for b in text.encode())
        lines = ["orvella-settings 1"]
        for name, value in sorted(values.items()):
            if isinstance(value, str):
                lines.append(f"sz {escape(name)}={escape(value)}")
            else:
                lines.append(f"dword {escape(name)}={int(value)}")
        os.makedirs(os.path.dirname(self.settings_file()), exist_ok=True)
        with open(self.settings_file(), "w") as file:
            file.write("\n".join(lines + ["end"]) + "\n")

    def read_settings(self):
        """The stored values as text, unescaped; {} when nothing is stored."""
        try:
            with open(self.settings_file(), "rb") as file:
                lines = file.read().decode("latin-1").splitlines()
        except FileNotFoundError:
            return {}
        unescape = lambda text: re.sub(r"%([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1), 16)), text)
        values = {}
        for line in lines[1:]:
            if line != "end":
                kind, rest = line.split(" ", 1)
                name, value = rest.split("=", 1)
                values[unescape(name)] = bytes(ord(c) for c in unescape(value)).decode() if kind == "sz" else value
        return values

    def logs_dir(self):
        return os.path.join(self.env["XDG_STATE_HOME"], "Orvella", "Logs")

    def logs(self):
        try:
            return sorted(os.listdir(self.logs_dir()))
        except FileNotFoundError:
            return []

    def log_path(self, monitor):
        """Today's log file of a monitor ("gateway", "rdp", ...), or None."""
        found = [name for name in self.logs() if name.endswith(f"_{monitor}.log")]
        return os.path.join(self.logs_dir(), found[-1]) if found else None

    # -- orvella -----------------------------------------------------------------------

    def inside(self):
        """The command prefix that runs a program in the lab's client namespace
        ("ip netns exec" also gives it the client's hosts file and a mount
        namespace of its own)."""
        return ["ip", "netns", "exec", self.lab["client"]]

    def start(self, binds=()):
        """Starts orvella as the user does, in the client's namespace; binds:
        (source, target) pairs mounted in its private mount namespace first."""
        binds = [(self.x11_dir, "/tmp/.X11-unix")] + list(binds)
        mounts = 'mount --bind "$1" "$2" && shift 2 && ' * len(binds)
        flat = [path for pair in binds for path in pair]
        command = self.inside() + ["/bin/sh", "-c", mounts + 'exec "$@"', "sh"] + flat + [self.app]
        process = subprocess.Popen(command, env=self.env)
        self.processes.append(process)
        return process

    def start_monitoring(self, client, settings=None, binds=()):
        """Stores the client number (and any other settings), connects the
        client to its server, starts the tray host and orvella, which begins
        monitoring at once; returns orvella's process."""
        self.write_settings({"ClientId": client, **(settings or {})})
        self.connect_client(client)
        self.start_tray()
        return self.start(binds)

    def stop(self, process):
        """Ends orvella as the session's end does, with SIGTERM: in order."""
        process.terminate()
        try:
            code = process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            fail("orvella did not end within 20 s of SIGTERM")
        if code != 0:
            fail(f"exit code {code} after SIGTERM")

    def client_pids(self):
        """Every process in the lab's client namespace."""
        namespace = os.stat(f"/run/netns/{self.lab['client']}")
        return processes(lambda pid: os.stat(f"/proc/{pid}/ns/net").st_ino == namespace.st_ino)

    def running_pids(self):
        """The processes of orvella in the client's namespace."""
        client = set(self.client_pids())
        return processes(lambda pid: pid in client and os.path.realpath(f"/proc/{pid}/exe") == self.app)

    def open_files(self, pid, pattern):
        """The files the process holds open whose path matches pattern."""
        found = []
        for fd in os.listdir(f"/proc/{pid}/fd"):
            try:
                target = os.readlink(f"/proc/{pid}/fd/{fd}")
            except OSError:
                continue
            if re.search(pattern, target):
                found.append(target)
        return found

    # -- windows, the mouse and the keyboard ------------------------------------------

    def x(self, *args, check=True):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, check=check).stdout

    def windows(self, name=None, wclass=APP_CLASS, visible=True):
        """Windows whose title matches the regular expression name (whole)."""
        found = []
        for line in self.x("xwininfo", "-root", "-tree").splitlines():
            match = TREE_LINE.match(line)
            if not match:
                continue
            window = Window(match)
            if wclass and f"({window.wclass})" != wclass:
                continue
            if name is not None and not re.fullmatch(name, window.name):
                continue
            if visible and not self.viewable(window.id):
                continue
            found.append(window)
        return found

    def viewable(self, wid):
        return "IsViewable" in self.x("xwininfo", "-id", wid, check=False)

    def wait_window(self, name, timeout=20.0):
        return wait_for(f"a window {name!r}", lambda: (self.windows(name) or [None])[0], timeout)

    def wait_no_window(self, name, timeout=20.0):
        wait_for(f"no window {name!r}", lambda: not self.windows(name), timeout)

    def tray_icon(self):
        """orvella's icon inside trayer's panel, or None."""
        lines = self.x("xwininfo", "-root", "-tree").splitlines()
        for i, line in enumerate(lines):
            if '("panel" "trayer")' in line:
                indent = len(line) - len(line.lstrip())
                for child in lines[i + 1:]:
                    if len(child) - len(child.lstrip()) <= indent:
                        break
                    match = TREE_LINE.match(child)
                    if match and f"({match.group(4)})" == APP_CLASS:
                        return Window(match)
        return None

    def client_origin(self, window, client_size):
        """Where a window of client_size starts its client area on the screen:
        without a window manager here, the window is its client area."""
        return window.x, window.y

    def move(self, x, y):
        self.x("xdotool", "mousemove", "--sync", str(x), str(y))
        time.sleep(0.2)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.x("xdotool", "click", str(button))
        time.sleep(0.3)

    def type(self, window, text):
        """Types into a window; with no window manager here, it is given the
        keyboard focus first."""
        self.x("xdotool", "windowfocus", "--sync", window.id)
        self.x("xdotool", "type", "--delay", "40", text)

    def popup(self, open_it, items):
        """Opens a menu with open_it() and returns the new menu window, which
        holds `items` rows of equal height."""
        before = {w.id for w in self.windows()}

        def new_menu():
            # A menu opens where the pointer is. Other windows of the program
            # may look new too: under Wine a notification that is refreshed
            # can be missing from the list of windows for a moment.
            pointer = dict(line.split("=") for line in self.x("xdotool", "getmouselocation", "--shell").split())
            px, py = int(pointer["X"]), int(pointer["Y"])
            return next((w for w in self.windows() if w.id not in before and w.height < 40 * items and
                         w.x - 8 <= px <= w.x + w.width + 8 and w.y - 8 <= py <= w.y + w.height + 8), None)
        # A click that lands while the program is still busy starting may be
        # lost; with no menu on screen a second click cannot close one.
        for _ in range(3):
            open_it()
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:
                menu = new_menu()
                if menu:
                    menu.items = items
                    return menu
                time.sleep(0.2)
        fail("timed out: a popup menu")

    def menu_item(self, menu, index):
        """Where item index (from 0) of a menu from popup() is."""
        row = menu.height / menu.items
        return menu.x + menu.width // 2, int(menu.y + row * (index + 0.5))

    def shape(self, window):
        """The window's visible region's extents relative to the window, as
        x, y, width, height."""
        text = self.x("xwininfo", "-shape", "-id", window.id)
        match = re.search(r"Window shape extents:\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)", text)
        if not match:
            return 0, 0, window.width, window.height
        width, height, x, y = map(int, match.groups())
        return x, y, width, height

    def opacity(self, window):
        """The window's opacity from 0 to 1 (1 when it sets none)."""
        match = re.search(r"= (\d+)", self.x("xprop", "-id", window.id, "_NET_WM_WINDOW_OPACITY"))
        return int(match.group(1)) / 0xFFFFFFFF if match else 1.0

    def screenshot(self, step):
        """The whole screen into the build folder as e2e-<journey>-<nn>-<step>.png."""
        self.step += 1
        path = os.path.join(self.build_dir, f"e2e-{self.journey}-{self.step:02d}-{step}.png")
        time.sleep(0.3)
        self.x("import", "-window", "root", path)
        print(f"screenshot: {path}")
        return path


def main(journey_function):
    """Runs a journey: argv is the orvella executable, the build folder and the lab tool."""
    app, build_dir, lab_tool = sys.argv[1:4]
    journey_function(app, build_dir, lab_tool)
    return 0
