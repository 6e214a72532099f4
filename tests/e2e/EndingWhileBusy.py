#!/usr/bin/python3
"""Ending while work is under way. Exit from the tray menu while a report mail
waits for a mail server that never answers: once the sender's bound for
setting up its connection has run out, orvella ends by itself (the failed
send goes to its standard error: no message box holds up the end), and no
process of it is left. Killed with SIGKILL while mtr traces the route: no child outlives it by
more than two seconds."""
import os
import signal
import subprocess
import sys
import time

import e2e
import MailHost

CLIENT = "4716"
# The mail sender gives up a connection that is not set up within 30 s.
CONNECT_BOUND = 30
SLACK = 10
# A message box would hold up the end.
ERROR_BOX = "Монитор сервера Tamsket"


def request_report(session):
    menu = MailHost.open_tray_menu(session)
    session.click(*session.menu_item(menu, MailHost.SEND_ITEM))
    MailHost.send_report(session, "Test", "1")


def exit_while_mail_stalls(session, mail):
    orvella = MailHost.start_orvella(session, mail, CLIENT, without_mtr=True)
    request_report(session)
    e2e.wait_for("the mail sender's connection", mail.connections, timeout=30)
    connected = time.monotonic()
    menu = MailHost.open_tray_menu(session)
    session.click(*session.menu_item(menu, MailHost.EXIT_ITEM))
    try:
        code = orvella.wait(timeout=CONNECT_BOUND + SLACK)
    except subprocess.TimeoutExpired:
        if session.windows(ERROR_BOX):
            session.screenshot("mail-error-at-exit")
        e2e.fail("orvella did not end within the mail sender's bound after its exit")
    print(f"orvella ended {time.monotonic() - connected:.1f} s after the mail connection")
    if code != 0:
        e2e.fail(f"exit code {code}")
    if session.running_pids():
        e2e.fail(f"orvella processes left: {session.running_pids()}")


def killed_during_trace(session, mail):
    orvella = session.start([mail.bind_mount()])
    request_report(session)
    def mtr_and_its_prober():
        found = MailHost.descendants(orvella.pid)
        return len(found) >= 2 and found

    children = e2e.wait_for("mtr and its prober", mtr_and_its_prober, timeout=20)
    session.screenshot("tracing")
    os.kill(orvella.pid, signal.SIGKILL)
    killed = time.monotonic()
    orvella.wait()
    e2e.wait_for(f"the end of {sorted(children.values())}", lambda: not any(map(MailHost.alive, children)),
                 timeout=2, interval=0.05)
    print(f"{sorted(children.values())} ended {time.monotonic() - killed:.2f} s after SIGKILL")


def journey(app, build_dir, lab_tool):
    with e2e.Session("ending-while-busy", app, build_dir, lab_tool, mail=True) as session, \
            MailHost.MailServer(session, stall=True) as mail:
        exit_while_mail_stalls(session, mail)
        killed_during_trace(session, mail)


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
