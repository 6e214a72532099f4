#!/usr/bin/python3
"""The Windows program, installed from its MSI, meets a server that stops
answering: window #0003 with the QR code of its help link (zbarimg reads it
from a screenshot), one trace by pathping and one archive, the notice
"Сбор данных завершен.", whose link opens the send-report dialog; the mail
arrives with its subject, the three lines and the archive (unzip -t), and
the archive's trace entry reads as the Cyrillic text that pathping printed
in code page 866."""
import subprocess
import sys
import time
import zipfile

import wine_journey
from wine_journey import e2e, MailHost
from ReportFromNotice import CLIENT, LINK, NAME, NOTICE, PHONE, SERVER_WINDOW, qr_codes


def printed_trace(session, host):
    """What pathping prints for host, decoded from code page 866."""
    command = session.command(["env", "PATHPING_STAND_IN_SECONDS=0", "wine", "pathping", host])
    return subprocess.run(command, env=session.env, capture_output=True, timeout=120).stdout.decode("cp866")


def journey(world):
    with world.session("silent-server", mail=True) as session, MailHost.MailServer(session) as mail:
        session.install()
        session.lab.echo(session.lab["server_ip"], "silent")
        orvella = MailHost.start_orvella(session, mail, CLIENT)
        problem = session.wait_window(SERVER_WINDOW, timeout=90)
        time.sleep(1)
        shot = session.screenshot("server-window")
        problem = next(iter(session.windows(SERVER_WINDOW)), problem)
        if not qr_codes(shot, problem):
            e2e.fail(f"no QR code found in window #0003 {problem}")

        window = session.wait_window(NOTICE, timeout=90)
        notice_shot = session.screenshot("notice")
        if qr_codes(notice_shot, window):
            e2e.fail("the notice shows a QR code")
        session.click(window.x + LINK[0], window.y + LINK[1])
        MailHost.send_report(session, NAME, PHONE)
        received = mail.wait_for_mail(60)

        archives = [name for name in session.logs() if name.endswith(".zip")]
        traces = [call for call in session.stand_in_calls() if call.startswith("pathping ")]
        if len(archives) != 1 or len(traces) != 1:
            e2e.fail(f"traces {traces} and archives {archives}, expected one of each")
        if not received:
            e2e.fail("no report mail arrived")
        problems = MailHost.report_mail_problems(received, CLIENT, NAME, PHONE)
        if not problems and received["parts"][1]["filename"] != archives[0]:
            problems.append(f"attached {received['parts'][1]['filename']} instead of {archives[0]}")
        if problems:
            e2e.fail(f"the report mail: {'; '.join(problems)}")

        with zipfile.ZipFile(received["parts"][1]["saved_as"]) as archive:
            entry = archive.read(archives[0][:-len(".zip")] + "_pathping")
        expected = printed_trace(session, CLIENT + e2e.SERVER_DOMAIN_SUFFIX)
        if "Трассировка маршрута к" not in expected or entry.decode("utf-8") != expected:
            e2e.fail(f"the trace entry {entry[:120]!r} is not what pathping printed: {expected[:80]!r}")
        session.exit_by_menu(orvella)


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
