"""What the customer's journeys of the Windows program share: a fresh Wine
prefix per journey with the MSI installed in it, the test-only stand-ins for
what Wine lacks (pdh.dll, pathping.exe, lodctr.exe, winmgmt.exe) in its
system32, a Russian Windows' locale (code page 866 on the console, as the
customers have it), the settings written and read through the registry, and
the program started in the lab's client namespace with the mounts a journey
asks for (the mail host's authority as the system's root certificates).

A journey script calls main(journey) and gets a JourneySession from
world.session(); argv: MSI PDH_DLL STAND_INS LAB_TOOL PREFIX OUT_DIR."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, ".."), os.path.join(HERE, "..", "..", "e2e")]
import e2e  # noqa: E402
import MailHost  # noqa: E402
from wine_session import PROGRAM, WineSession  # noqa: E402

SETTINGS_KEY = "HKCU\\Software\\tamsket\\orvella"
SERVICES_KEY = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"
STAND_INS = ("pathping.exe", "lodctr.exe", "winmgmt.exe")
# Wine brings lodctr and winmgmt of its own that do nothing: the stand-ins
# take their place only when loaded as native programs.
NATIVE_TOOLS = "lodctr.exe,winmgmt.exe=n"
LOCALE = "ru_RU.UTF-8"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def russian_locale(folder):
    """A folder for LOCPATH holding ru_RU.UTF-8, made once: Wine takes its
    system locale, and with it the OEM code page, from the Unix one."""
    target = os.path.join(folder, LOCALE)
    if not os.path.isdir(target):
        if not shutil.which("localedef") or not os.path.isdir("/usr/share/i18n/locales"):
            e2e.skip("localedef or the locale sources are missing (package locales, scripts/install-deps)")
        os.makedirs(folder, exist_ok=True)
        made = tempfile.mkdtemp(dir=folder)
        run = subprocess.run(["localedef", "-i", "ru_RU", "-f", "UTF-8", os.path.join(made, LOCALE)],
                             capture_output=True, text=True)
        if run.returncode > 1:  # 1: warnings only
            e2e.fail(f"localedef {LOCALE}: {run.stderr.strip()}")
        os.rename(os.path.join(made, LOCALE), target)
        os.rmdir(made)
    return folder


class JourneySession(WineSession):
    """A journey's desktop and lab with a prefix of its own, the program
    installed from the MSI; start() takes the mounts of e2e.Session.start."""

    def __init__(self, journey, world, mail=False):
        super().__init__(journey, world.lab_tool, world.prefix, world.out_dir, mail)
        self.world = world
        self.calls_file = os.path.join(world.out_dir, f"{journey}-stand-in-calls.txt")

    def __enter__(self):
        super().__enter__()
        self.env.update(LANG=LOCALE, LOCPATH=russian_locale(os.path.join(self.world.out_dir, "locale")),
                        WINEDLLOVERRIDES=self.env["WINEDLLOVERRIDES"] + ";" + NATIVE_TOOLS,
                        STAND_IN_CALLS=windows_path(self.calls_file))
        if os.path.exists(self.calls_file):
            os.remove(self.calls_file)
        return self

    def install(self, pdh=True):
        """A fresh prefix with the stand-ins, the MSI installed into it; with
        pdh False Wine's own pdh.dll, which cannot open the memory and disk
        counters, stays."""
        self.make_prefix(self.world.pdh)
        if not pdh:
            self.env["WINEDLLOVERRIDES"] = self.env["WINEDLLOVERRIDES"].replace(";pdh=n", "")
        for tool in STAND_INS:
            shutil.copy(os.path.join(self.world.stand_ins, tool), self.drive_c("windows", "system32", tool))
        # The repair runs lodctr of the 32-bit system folder too; Wine without
        # its 32-bit half has none there.
        shutil.copy(os.path.join(self.world.stand_ins, "lodctr.exe"), self.drive_c("windows", "syswow64"))
        if self.msiexec("/i", self.world.msi) != 0:
            e2e.fail("msiexec /i /qn failed")

    def registry(self, lines):
        """Imports .reg lines with regedit, as an administrator's script does."""
        path = os.path.join(self.home, "import.reg")
        with open(path, "w", encoding="utf-16") as file:
            file.write("Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n")
        if self.wine("regedit", "/S", windows_path(path)).returncode != 0:
            e2e.fail(f"regedit could not import {lines}")

    def write_settings(self, values):
        """Stores values before the start: str as REG_SZ, bool and int as REG_DWORD."""
        def data(value):
            if isinstance(value, str):
                return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
            return f"dword:{int(value):08x}"
        self.registry(["[HKEY_CURRENT_USER\\Software\\tamsket\\orvella]"] +
                      [f'"{name}"={data(value)}' for name, value in sorted(values.items())])

    def read_settings(self):
        """The stored values as `wine reg query` prints them."""
        run = subprocess.run(self.command(["wine", "reg", "query", SETTINGS_KEY]), env=self.env, capture_output=True)
        values = {}
        for line in run.stdout.decode("cp866", "replace").splitlines():
            fields = re.split(r"\s{4}", line.strip(), 2)
            if len(fields) == 3 and fields[1].startswith("REG_"):
                values[fields[0]] = fields[2]
        return values

    def client_origin(self, window, client_size):
        """Where a window's client area starts: Wine draws the frame and the
        title bar inside the X window when no window manager runs."""
        width, height = client_size
        border = (window.width - width) // 2
        return window.x + border, window.y + window.height - height - border

    def stand_in_calls(self):
        """The command lines of the stand-ins run so far, in order."""
        try:
            with open(self.calls_file, encoding="ascii") as file:
                return file.read().splitlines()
        except FileNotFoundError:
            return []


class World:
    """The journey's arguments: what it installs and where it works."""

    def __init__(self, msi, pdh, stand_ins, lab_tool, prefix, out_dir):
        self.msi, self.pdh, self.stand_ins = msi, pdh, stand_ins
        self.lab_tool, self.prefix, self.out_dir = lab_tool, prefix, out_dir

    def session(self, journey, mail=False):
        return JourneySession(journey, self, mail)


def main(journey):
    """Runs journey(world) with the arguments of argv; a prefix it leaves
    behind after passing is removed, one of a failed journey kept."""
    if os.geteuid() != 0:
        e2e.skip("the journeys need root (network namespaces for the simulated network)")
    for tool in ("wine", "wineserver"):
        if not shutil.which(tool):
            e2e.skip(f"{tool} is not installed (scripts/install-deps)")
    world = World(*sys.argv[1:7])
    if not os.path.exists(world.lab_tool):
        e2e.skip(f"the lab tool {world.lab_tool} of the Linux build is missing (make build first)")
    journey(world)
    shutil.rmtree(world.prefix, ignore_errors=True)
    return 0
