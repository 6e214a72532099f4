#!/usr/bin/python3
"""The report page in a real browser (Debian's chromium, headless), opened
from file:// as the support desk opens it:

    page_in_browser.py PAGE LOG_GENERATOR OUTDIR
    page_in_browser.py PAGE LOG_GENERATOR OUTDIR ARCHIVE JOURNEY_JSON

- it allows no connection (its Content Security Policy refuses a request to
  loopback);
- a foreign file, a damaged archive and one that is no Orvella report each
  get their message;
- two days of the generator's logs, with a line that does not parse, are
  drawn: six lanes, the notifications, the table per day and the bad line
  with its file and line number; zoom and reset move every lane; they are
  inflated by the page's WebAssembly inflater, and by the browser's own
  where WebAssembly cannot run;
- (the second form) the archive the real program made when its server fell
  silent (the journey ReportFromNotice) shows the period of #0003 from the
  second at which the program's own window appeared.
Screenshots land in OUTDIR."""
import json
import os
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import headless  # noqa: E402

from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def seconds_of(stamp):
    """Seconds of "dd.mm.yyyy hh:nn:ss" counted as the page counts them (UTC)."""
    import calendar
    return calendar.timegm(time.strptime(stamp, "%d.%m.%Y %H:%M:%S"))


def connections_refused(browser):
    blocked = browser.driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        let violation = '';
        document.addEventListener('securitypolicyviolation', (e) => { violation = e.violatedDirective; });
        fetch('http://127.0.0.1:9/').then(() => done('fetched'), () => setTimeout(() => done(violation || 'refused'), 100));
    """)
    check(blocked.startswith("connect-src"), f"a request to loopback is refused by the page's policy ({blocked})")
    in_worker = browser.driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const code = "self.addEventListener('securitypolicyviolation', (e) => postMessage(e.violatedDirective));" +
            "fetch('http://127.0.0.1:9/').then(() => postMessage('fetched'), () => setTimeout(() => postMessage('refused'), 200));";
        const worker = new Worker(URL.createObjectURL(new Blob([code], {type: 'text/javascript'})));
        worker.onmessage = (e) => { done(e.data); worker.terminate(); };
        worker.onerror = (e) => done('no worker: ' + e.message);
    """)
    check(in_worker.startswith("connect-src"), f"a worker of the page inherits the policy ({in_worker})")


def messages(browser, scratch):
    foreign = os.path.join(scratch, "photos.zip")
    with zipfile.ZipFile(foreign, "w") as z:
        z.writestr("holiday.jpg", b"\xff\xd8\xff")
    text = os.path.join(scratch, "notes.txt")
    with open(text, "w") as f:
        f.write("not an archive")
    damaged = os.path.join(scratch, "2026.12.09_10.00.00.zip")
    with zipfile.ZipFile(damaged, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("2026.12.09_cpu.log", "".join(f"09.12.2026 10:00:{s:02d} - {s * 1.5}\r\n" for s in range(60)) * 50)
    with open(damaged, "r+b") as f:
        f.seek(80)
        f.write(b"\x00" * 40)
    for path, expected in ((foreign, "is not an Orvella report"), (text, "notes.txt is not an Orvella report: drop a report archive"),
                           (damaged, "is damaged")):
        status = browser.load(path)
        shown = browser.driver.find_element(By.ID, "message").text
        check(status["state"] == "failed" and expected in shown, f"{os.path.basename(path)}: {shown!r}")


def generated(browser, generator, scratch, outdir):
    logs = os.path.join(scratch, "logs")
    subprocess.run([generator, logs, "2"], check=True, capture_output=True)
    names = sorted(os.listdir(logs))
    with open(os.path.join(logs, names[0]), "ab") as f:
        f.write(b"a line that is no sample\r\n")
    archive = os.path.join(scratch, "2026.12.09_12.00.00.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for name in names:
            z.write(os.path.join(logs, name), name)
        z.writestr("2026.12.09_12.00.00_pathping", "Start: 2026-12-09T12:00:00+0000\n"
                   "HOST: client       Loss%   Snt   Last   Avg  Best  Wrst StDev\n"
                   "  1.|-- 192.168.1.1  0.0%    10    0.4   0.4   0.3   0.5   0.1\n"
                   "  2.|-- 10.0.0.1    40.0%    10    9.1   9.3   8.8  10.2   0.4\n")
    status = browser.load(archive)
    d = browser.driver
    check(status["state"] == "complete", f"two days of generated logs drawn ({status['error']})")
    check(status["inflater"] == "wasm", f"the page's WebAssembly inflater runs under its policy ({status['inflater']})")
    lanes = d.find_elements(By.CSS_SELECTOR, "#lanes .lane")
    check([lane.get_attribute("data-monitor") for lane in lanes] == ["gateway", "google", "rdp", "cpu", "ram", "disk"],
          "one lane per monitor, in the program's order")
    check(all(lane.find_elements(By.TAG_NAME, "canvas") for lane in lanes), "every lane has its canvas")
    rows = d.find_elements(By.CSS_SELECTOR, "#notifications tr[data-monitor]")
    check(len(rows) > 0 and all("Код ошибки #000" in r.text for r in rows), f"{len(rows)} notification periods listed")
    days = d.find_elements(By.CSS_SELECTOR, "#days table.day")
    check(len(days) == 2 and all(len(t.find_elements(By.CSS_SELECTOR, "tr[data-monitor]")) == 6 for t in days),
          "a table per day with a row per monitor")
    first = d.find_element(By.CSS_SELECTOR, "#days table.day tr[data-monitor='gateway']").text.split()
    check(first[1] == "86400", f"the gateway's first day has 86400 samples ({first[1]})")
    bad = d.find_element(By.ID, "bad").text
    check("Lines that do not parse: 1" in bad and names[0] in bad and "86401" in bad,
          "the line that does not parse is shown with its file and line number")
    loss = [e.text for e in d.find_elements(By.CSS_SELECTOR, "#trace .loss")]
    check(len(loss) == 1 and "10.0.0.1" in loss[0], "the trace's hop with loss is marked")
    header = d.find_element(By.ID, "header").text
    check("c1234.rdp.orvella.example (203.0.113.40)" in header and "gateway (192.168.1.1)" in header,
          "the header names the server and the targets")

    # Zoom one lane: all follow; a double click shows the whole span again.
    scales = "return window.orvellaReport.lanes.charts.map(c => [c.scales.x.min, c.scales.x.max])"
    whole = d.execute_script(scales)
    d.execute_script("const c = window.orvellaReport.lanes.charts[3]; "
                     "c.setScale('x', {min: c.scales.x.min + 3600, max: c.scales.x.min + 7200});")
    zoomed = d.execute_script(scales)
    check(all(z == zoomed[0] for z in zoomed) and zoomed[0][1] - zoomed[0][0] == 3600, "a zoom moves every lane")
    over = lanes[0].find_element(By.CSS_SELECTOR, ".u-over")
    ActionChains(d).move_to_element(over).perform()
    readout = d.find_element(By.ID, "readout").text
    check(all(t in readout for t in ("Gateway:", "Server:", "Processor:", "Disk queue:")),
          f"the cursor reads every lane: {readout[:90]}...")
    # Shift+drag pans: every lane moves back in time by the same span.
    ActionChains(d).key_down(Keys.SHIFT).click_and_hold(over).move_by_offset(200, 0).release().key_up(
        Keys.SHIFT).perform()
    panned = d.execute_script(scales)
    check(all(p == panned[0] for p in panned) and panned[0][0] < zoomed[0][0] and
          abs((panned[0][1] - panned[0][0]) - 3600) < 1e-6, "Shift+drag pans every lane")
    browser.screenshot(os.path.join(outdir, "viewer-generated-zoomed.png"))
    ActionChains(d).double_click(over).perform()
    check(d.execute_script(scales) == whole, "a double click shows the whole span in every lane")
    browser.screenshot(os.path.join(outdir, "viewer-generated.png"))
    return archive


def without_webassembly(page, archive):
    """Where WebAssembly cannot run, the browser's own inflater reads the archive."""
    with headless.Browser() as browser:
        browser.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": "delete globalThis.WebAssembly;"})
        browser.open_page(page)
        status = browser.load(archive)
        gateway = browser.driver.find_element(By.CSS_SELECTOR, "#days table.day tr[data-monitor='gateway']").text.split()
        check(status["state"] == "complete" and status["inflater"] == "native" and gateway[1] == "86400",
              f"without WebAssembly the browser's inflater reads the archive ({status['inflater']}, {status['error']})")


def journey(browser, archive, record, outdir):
    with open(record) as f:
        seen = json.load(f)
    status = browser.load(archive)
    check(status["state"] == "complete", f"the journey's archive {seen['archive']} drawn ({status['error']})")
    periods = {p["monitor"]: p["periods"] for p in status["periods"]}
    at = seconds_of(seen["first_seen"])
    server = periods.get("rdp", [])
    # The window appears with the first notified cycle; the journey sees it
    # at its next look, within a few seconds.
    match = [p for p in server if p[0] <= at <= p[0] + 5]
    check(bool(match), f"#0003 shaded from the second its window appeared ({seen['first_seen']}): periods {server}")
    d = browser.driver
    rows = [r.text for r in d.find_elements(By.CSS_SELECTOR, "#notifications tr[data-monitor='rdp']")]
    check(any("Код ошибки #0003" in r for r in rows), "the notification list names Код ошибки #0003")
    rdp = d.find_element(By.CSS_SELECTOR, "#days table.day tr[data-monitor='rdp']").text.split()
    check(int(rdp[2]) > 0, f"the server's failed samples are counted ({rdp[2]})")
    if match:
        # The shade is drawn where the period is.
        colour = d.execute_script("""
            const [from, to] = arguments[0];
            const c = window.orvellaReport.lanes.charts[2];
            const x = Math.round(c.valToPos((from + to + 1) / 2, 'x', true));
            const y = Math.round(c.bbox.top + c.bbox.height * 0.3);
            return Array.from(c.ctx.getImageData(x, y, 1, 1).data);""", match[0])
        check(colour[0] > 200 and 150 < colour[1] < 235 and colour[2] < 200, f"the period is shaded amber ({colour})")
    check("Route trace" in d.find_element(By.ID, "trace").text, "the route trace is shown")
    browser.screenshot(os.path.join(outdir, "viewer-journey.png"))


def main():
    page, generator, outdir = sys.argv[1:4]
    archive, record = (sys.argv[4:6] + [None, None])[:2]
    reason = headless.missing()
    if reason:
        print(f"skipped: {reason}")
        return 77
    if archive and not os.path.exists(archive):
        print(f"skipped: the journey's archive {archive} is missing (Journey.ReportFromNotice did not run)")
        return 77
    with tempfile.TemporaryDirectory(prefix="orvella-page-") as scratch, headless.Browser() as browser:
        browser.open_page(page)
        if archive:
            journey(browser, archive, record, outdir)
        else:
            policy = browser.driver.find_element(By.CSS_SELECTOR, "meta[http-equiv='Content-Security-Policy']")
            check("connect-src 'none'" in policy.get_attribute("content"), "the page forbids every connection")
            connections_refused(browser)
            messages(browser, scratch)
            without_webassembly(page, generated(browser, generator, scratch, outdir))
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
