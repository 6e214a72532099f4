#!/usr/bin/python3
"""The report page on a week's archive beside the floor of the same run:

    ReportPageBench.py PAGE LOG_GENERATOR [RUNS]

Seven days of the log generator's logs of all six monitors (86,400 lines a
day each) and a route trace, packed with Deflate as the program packs them.
The floor is `unzip -p ARCHIVE > /dev/null`: only inflating every entry. The
page, in headless chromium opened from file://, is handed the archive as the
desk's file picker hands it; measured are the time from the pick to the
first drawn lanes (all six, with the notifications shaded), in the page's own
clock and as the driver saw it, the processor time of the browser's renderers
until then beside that of unzip (steadier than times when the machine is
shared), and the peak resident memory (VmHWM) of the renderer. Each run has a
fresh browser; best and median of RUNS (default 3)."""
import os
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "viewer", "checks"))
import headless  # noqa: E402


def make_archive(generator, scratch):
    logs = os.path.join(scratch, "logs")
    subprocess.run([generator, logs, "7"], check=True, capture_output=True)
    names = sorted(os.listdir(logs))
    stamp = names[-1][:10] + "_12.00.00"
    archive = os.path.join(scratch, stamp + ".zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for name in names:
            z.write(os.path.join(logs, name), name)
        z.writestr(stamp + "_pathping", "  1.|-- 192.168.1.1  0.0%    10    0.4   0.4   0.3   0.5   0.1\n")
    inflated = sum(os.path.getsize(os.path.join(logs, n)) for n in names)
    return archive, inflated


def floor(archive):
    """Seconds, and processor seconds, of unzip -p."""
    start, before = time.monotonic(), os.times()
    with open(os.devnull, "wb") as null:
        subprocess.run(["unzip", "-p", archive], stdout=null, check=True)
    after = os.times()
    return time.monotonic() - start, after.children_user + after.children_system - before.children_user - before.children_system


def page_run(page, archive):
    with headless.Browser() as browser:
        browser.open_page(page)
        cpu = browser.renderer_cpu_seconds()
        start = time.monotonic()
        status = browser.load(archive, timeout=300)
        seen = time.monotonic() - start
        cpu = browser.renderer_cpu_seconds() - cpu
        if status["state"] != "complete":
            sys.exit(f"the page did not draw the archive: {status['error']}")
        t = status["timings"]
        return {"page": (t["drawn"] - t["start"]) / 1000, "parsed": (t["parsed"] - t["start"]) / 1000,
                "driver": seen, "cpu": cpu, "peak_mib": browser.renderer_peak_kib() / 1024,
                "steps": ", ".join(f"{k} {v / 1000:.2f} s" for k, v in sorted(status["steps"].items()))}


def main():
    page, generator = sys.argv[1:3]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    reason = headless.missing()
    if reason:
        print(f"skipped: {reason}")
        return 77
    with tempfile.TemporaryDirectory(prefix="orvella-page-bench-") as scratch:
        archive, inflated = make_archive(generator, scratch)
        print(f"archive: {os.path.getsize(archive) / 2**20:.1f} MiB, {inflated / 2**20:.0f} MiB of logs inflated")
        floors, floor_cpus, pages = [], [], []
        for run in range(runs):
            seconds, cpu = floor(archive)
            floors.append(seconds)
            floor_cpus.append(cpu)
            pages.append(page_run(page, archive))
            p = pages[-1]
            print(f"run {run + 1}: unzip -p {seconds:.2f} s ({cpu:.2f} s of processor); page drawn {p['page']:.2f} s "
                  f"(read and parsed {p['parsed']:.2f} s: {p['steps']}; driver saw {p['driver']:.2f} s; "
                  f"renderers' processor {p['cpu']:.2f} s), renderer peak {p['peak_mib']:.0f} MiB")
        best_floor, median_floor = min(floors), statistics.median(floors)
        best_page = min(p["page"] for p in pages)
        median_page = statistics.median(p["page"] for p in pages)
        peak = max(p["peak_mib"] for p in pages)
        print(f"floor (unzip -p): best {best_floor:.2f} s, median {median_floor:.2f} s")
        print(f"page, pick to drawn lanes: best {best_page:.2f} s, median {median_page:.2f} s "
              f"= {median_page / median_floor:.1f} x the floor")
        median_cpu = statistics.median(p["cpu"] for p in pages)
        print(f"processor time: unzip -p median {statistics.median(floor_cpus):.2f} s, renderers median "
              f"{median_cpu:.2f} s = {median_cpu / statistics.median(floor_cpus):.1f} x")
        print(f"renderer peak memory: {peak:.0f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
