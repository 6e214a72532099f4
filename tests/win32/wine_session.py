"""The Windows program's test world under Wine, for the journeys of tests/e2e:
a Wine prefix of the test's own (made fresh, with what Wine lacks given to it
alone), every Wine program run in the lab's client namespace on the
session's X server, and the program's windows, tray icon, registry values
and logs as a user and an administrator find them."""
import glob
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import e2e  # noqa: E402
import MailHost  # noqa: E402

WINE_CLASS = '("orvella.exe" "orvella.exe")'
WINE_FONTS = "/usr/share/wine/fonts"
INSTALL_DIR = "C:\\Program Files\\Orvella"
PROGRAM = INSTALL_DIR + "\\orvella.exe"


class WineSession(e2e.Session):
    """A journey's desktop and lab with a Wine prefix of its own, in which every
    Wine program runs in the lab's client namespace."""

    def __init__(self, journey, lab_tool, prefix, out_dir, mail=False):
        super().__init__(journey, "/nonexistent/orvella.exe", out_dir, lab_tool, mail)
        self.prefix = prefix

    def __enter__(self):
        super().__enter__()
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;pdh=n")
        return self

    def __exit__(self, kind, error, trace):
        # Wine's own processes (wineserver, services, the desktop's explorer)
        # end with the prefix's server; anything else left is ours.
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)
        return super().__exit__(kind, error, trace)

    def command(self, args, binds=()):
        """args run in the client's namespace on the session's X server, after
        binds ((source, target) pairs) are mounted for them alone."""
        binds = [(self.x11_dir, "/tmp/.X11-unix")] + list(binds)
        mounts = 'mount --bind "$1" "$2" && shift 2 && ' * len(binds)
        flat = [path for pair in binds for path in pair]
        return self.inside() + ["/bin/sh", "-c", mounts + 'exec "$@"', "sh"] + flat + list(args)

    def wine(self, *args, timeout=300):
        """A Wine program's run; its output is in the console's code page,
        which is not UTF-8 under a Russian locale."""
        return subprocess.run(self.command(["wine", *args]), env=self.env, capture_output=True, text=True,
                              errors="replace", timeout=timeout)

    def start(self, binds=(), args=()):
        """orvella.exe started as the user starts it; binds as for command()."""
        process = subprocess.Popen(self.command(["wine", PROGRAM, *args], binds), env=self.env)
        self.processes.append(process)
        return process

    def exit_by_menu(self, process=None, screenshot=None):
        """Ends the program with "Выход" from its tray menu; nothing of it
        stays. process: the one we started, or None for one the program
        started itself."""
        menu = MailHost.open_tray_menu(self)
        if screenshot:
            self.screenshot(screenshot)
        self.click(*self.menu_item(menu, MailHost.EXIT_ITEM))
        if process:
            try:
                code = process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.screenshot("not-ended-after-exit")
                e2e.fail("orvella.exe did not end within 60 s of Выход")
            if code != 0:
                e2e.fail(f"exit code {code} after Выход")
        e2e.wait_for("no orvella.exe left", lambda: not self.running_pids(), timeout=60)

    def make_prefix(self, pdh):
        """A fresh prefix with the test-only pdh.dll stand-in (loaded through
        the DLL override of the session's environment) and Wine's fonts."""
        shutil.rmtree(self.prefix, ignore_errors=True)
        if self.wine("wineboot", "-i").returncode != 0:
            e2e.fail("wineboot could not make the prefix")
        shutil.copy(pdh, self.drive_c("windows", "system32", "pdh.dll"))
        # Windows smooths screen fonts (ClearType) unless told not to; a fresh
        # Wine prefix does not, and its unsmoothed Tahoma loses strokes at the
        # notification caption's size.
        for name, kind, data in (("FontSmoothing", "REG_SZ", "2"), ("FontSmoothingType", "REG_DWORD", "2")):
            if self.wine("reg", "add", "HKCU\\Control Panel\\Desktop", "/v", name, "/t", kind, "/d", data,
                         "/f").returncode != 0:
                e2e.fail(f"could not set {name} in the prefix")
        # Debian's Wine looks for its own fonts in "<data dir>\\../fonts", a
        # name that NT paths reject, and so finds none of them, Tahoma included
        # (Qt then draws with a wider face, and the dialogs' labels are cut
        # off). Windows keeps Tahoma in its Fonts folder: so does the prefix.
        for font in glob.glob(os.path.join(WINE_FONTS, "*")):
            shutil.copy(font, self.drive_c("windows", "Fonts"))

    def msiexec(self, action, msi):
        """msiexec ACTION (/i, /x) with the MSI at a Linux path, silently; its exit code."""
        return self.wine("msiexec", action, "Z:" + msi.replace("/", "\\"), "/qn", timeout=600).returncode

    def drive_c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def installed_files(self):
        root = self.drive_c("Program Files", "Orvella")
        return sorted(os.path.relpath(os.path.join(d, f), root) for d, _, fs in os.walk(root) for f in fs)

    def reg_value(self, key, name):
        """A registry value's data as `wine reg query` prints it, or None."""
        run = self.wine("reg", "query", key, "/v", name)
        for line in run.stdout.splitlines():
            fields = line.split(None, 2)
            if len(fields) == 3 and fields[0] == name and fields[1].startswith("REG_"):
                return fields[2]
        return None

    def logs_dir(self):
        found = glob.glob(self.drive_c("users", "*", "AppData", "Local", "Orvella", "Logs"))
        return found[0] if found else os.path.join(self.prefix, "no-logs")

    def windows(self, name=None, wclass=WINE_CLASS, visible=True):
        return super().windows(name, wclass, visible)

    def tray_icon(self):
        """An icon docked in trayer's panel: only orvella has one here (Wine's
        docked icons belong to its explorer.exe)."""
        lines = self.x("xwininfo", "-root", "-tree").splitlines()
        for i, line in enumerate(lines):
            if '("panel" "trayer")' in line:
                indent = len(line) - len(line.lstrip())
                for child in lines[i + 1:]:
                    if len(child) - len(child.lstrip()) <= indent:
                        break
                    match = e2e.TREE_LINE.match(child)
                    if match and int(match.group(5)) > 1:
                        return e2e.Window(match)
        return None

    def running_pids(self, program="orvella.exe"):
        """The processes of this prefix that run program, wherever they run."""
        pids = []
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                command = open(f"/proc/{entry}/cmdline", "rb").read()
                environment = open(f"/proc/{entry}/environ", "rb").read().split(b"\0")
            except OSError:
                continue
            if program.encode() in command and f"WINEPREFIX={self.prefix}".encode() in environment:
                pids.append(int(entry))
        return pids
