#!/usr/bin/python3
"""A server that stops answering: window #0003, one trace, one archive, and
the notice "Сбор данных завершен." without a QR code; its link opens the
send-report dialog, and "Отправить" mails the archive with the name and phone
typed there. Python's email parser reads the mail, unzip -t the archive. The
archive stays in the build folder (ReportFromNotice.zip) with the local time
at which window #0003 was first seen (ReportFromNotice.json), for the report
page's tests."""
import json
import os
import shutil
import subprocess
import sys
import time

import e2e
import MailHost

CLIENT = "4713"
NAME, PHONE = "Иван Петров", "+7 900 123-45-67"
SERVER_WINDOW = "Код ошибки #0003"
NOTICE = "Сбор данных завершен."
# Where the link "Отправить данные" sits in a notice, which has no QR code.
LINK = (344, 139)


def qr_codes(screenshot, window):
    """The QR codes zbarimg finds in a window's part of a screenshot."""
    crop = screenshot[:-4] + "-window.png"
    subprocess.run(["convert", screenshot, "-crop", f"{window.width}x{window.height}+{window.x}+{window.y}", crop],
                   check=True)
    found = subprocess.run(["zbarimg", "--quiet", "--raw", crop], capture_output=True, text=True).stdout.split()
    os.remove(crop)
    return found


def keep_archive(session, build_dir, archive, seen):
    shutil.copyfile(os.path.join(session.logs_dir(), archive), os.path.join(build_dir, "ReportFromNotice.zip"))
    with open(os.path.join(build_dir, "ReportFromNotice.json"), "w") as f:
        json.dump({"archive": archive, "window": SERVER_WINDOW,
                   "first_seen": time.strftime("%d.%m.%Y %H:%M:%S", time.localtime(seen))}, f)


def journey(app, build_dir, lab_tool):
    for kept in ("ReportFromNotice.zip", "ReportFromNotice.json"):
        if os.path.exists(os.path.join(build_dir, kept)):
            os.remove(os.path.join(build_dir, kept))
    with e2e.Session("report-from-notice", app, build_dir, lab_tool, mail=True) as session, \
            MailHost.MailServer(session) as mail:
        session.lab.echo(session.lab["server_ip"], "silent")
        orvella = MailHost.start_orvella(session, mail, CLIENT)
        problem = session.wait_window(SERVER_WINDOW, timeout=40)
        seen = time.time()
        traces = set()

        def notice():
            traces.update(child for child, name in MailHost.descendants(orvella.pid, children_only=True).items()
                          if name == "mtr")
            return (session.windows(NOTICE) or [None])[0]

        # mtr traces the route for about 100 s; the notice closes 5 s after it appears.
        window = e2e.wait_for("the notice that the data are collected", notice, timeout=150, interval=0.5)
        shot = session.screenshot("notice")
        session.click(window.x + LINK[0], window.y + LINK[1])
        MailHost.send_report(session, NAME, PHONE)
        archives = [name for name in session.logs() if name.endswith(".zip")]
        if len(archives) == 1:
            keep_archive(session, build_dir, archives[0], seen)
        received = mail.wait_for_mail(30)

        problem = next((w for w in session.windows(SERVER_WINDOW)), problem)
        if not qr_codes(shot, problem):
            e2e.fail("no QR code found in window #0003")
        if qr_codes(shot, window):
            e2e.fail("the notice shows a QR code")
        if len(archives) != 1 or len(traces) != 1:
            e2e.fail(f"{len(traces)} traces and archives {archives} before the notice")
        if not received:
            e2e.fail("no report mail arrived")
        problems = MailHost.report_mail_problems(received, CLIENT, NAME, PHONE)
        attachment = received["parts"][1] if not problems else None
        if attachment and attachment["filename"] != archives[0]:
            problems.append(f"attached {attachment['filename']} instead of {archives[0]}")
        if problems:
            e2e.fail(f"the report mail: {'; '.join(problems)}")
        session.stop(orvella)


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
