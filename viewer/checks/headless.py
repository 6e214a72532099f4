"""Debian's chromium, headless, driven through chromium-driver: opens the
report page from file://, hands it files as the desk's file picker would and
waits until it has drawn them. Shared by the browser test and the benchmark."""
import os
import shutil
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"
# No network of its own: no background requests, updates, sync or QUIC. A
# headless page counts as hidden, and a hidden page's renderer would run at a
# lower priority and with its timers throttled: not so here.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-dev-shm-usage", "--disable-renderer-backgrounding", "--disable-background-timer-throttling",
         "--disable-backgrounding-occluded-windows"]


def missing():
    """Why the browser cannot run here, or None."""
    for path in (CHROMIUM, DRIVER):
        if not os.access(path, os.X_OK):
            return f"{path} is missing (scripts/install-deps installs chromium and chromium-driver)"
    return None


class Browser:
    def __init__(self, width=1500, height=1400):
        self.profile = tempfile.mkdtemp(prefix="orvella-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in FLAGS + [f"--user-data-dir={self.profile}", f"--window-size={width},{height}"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        self.driver.set_script_timeout(120)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)

    def open_page(self, page):
        self.driver.get("file://" + os.path.abspath(page))
        self.wait(lambda: self.state() == "idle", 30, "the page to start")

    def state(self):
        return self.driver.execute_script("return window.orvellaReport && window.orvellaReport.state")

    def wait(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return
            time.sleep(0.05)
        raise TimeoutError(f"waited {timeout} s for {what}")

    def load(self, *paths, timeout=120):
        """Picks the files and waits until the page has drawn or refused them;
        returns the page's status object."""
        self.driver.find_element(By.ID, "pick").send_keys("\n".join(os.path.abspath(p) for p in paths))
        self.wait(lambda: self.state() in ("complete", "failed"), timeout, "the page to draw the report")
        return self.driver.execute_script(
            "const s = window.orvellaReport;"
            "return {state: s.state, error: s.error, timings: s.timings, steps: s.steps || {},"
            " periods: s.periods || [], inflater: s.inflater};")

    def renderers(self):
        """The renderer processes of this browser (descendants of its driver)."""
        parents, renderers = {}, []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/stat") as f:
                    parents[int(pid)] = int(f.read().rsplit(")", 1)[1].split()[1])
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if b"--type=renderer" in f.read():
                        renderers.append(int(pid))
            except OSError:
                continue
        driver = self.driver.service.process.pid
        mine = []
        for pid in renderers:
            ancestor = pid
            while ancestor > 1 and ancestor != driver:
                ancestor = parents.get(ancestor, 1)
            if ancestor == driver:
                mine.append(pid)
        return mine

    def renderer_cpu_seconds(self):
        """User and system time that this browser's renderers have run, all
        their threads (workers included): on a shared machine a steadier
        measure of the page's work than the time it took."""
        total = 0
        for pid in self.renderers():
            try:
                with open(f"/proc/{pid}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                total += int(fields[11]) + int(fields[12])
            except OSError:
                continue
        return total / os.sysconf("SC_CLK_TCK")

    def renderer_peak_kib(self):
        """The peak resident memory (VmHWM) of the biggest renderer process of
        this browser."""
        peak = 0
        for pid in self.renderers():
            try:
                with open(f"/proc/{pid}/status") as f:
                    for line in f:
                        if line.startswith("VmHWM:"):
                            peak = max(peak, int(line.split()[1]))
            except OSError:
                continue
        return peak

    def screenshot(self, path):
        """The whole page, not only the window."""
        height = self.driver.execute_script("return document.documentElement.scrollHeight")
        self.driver.set_window_size(1500, min(max(height + 40, 800), 8000))
        self.driver.save_screenshot(path)
