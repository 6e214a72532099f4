#!/usr/bin/python3
"""Ending while work is under way. Exit from the tray menu while a report mail
waits for a mail server that never answers: a second start meanwhile is
refused the hand-over and waits; once the sender's bound for setting up its
connection has run out, the failed send is shown in a message box (the user
chose to end and is there to read it), orvella ends when it is dismissed, and
the waiting start becomes the running monitor. SIGTERM while its mail stalls
in the same way: it ends by itself, the failure on standard error and no
message box holding up the end. Killed with SIGKILL while mtr traces the
route: no child outlives it by more than two seconds."""
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


def wait_for_mail_connection(session, mail, before):
    e2e.wait_for("the mail sender's connection", lambda: mail.connections() > before, timeout=30)
    return time.monotonic()


def exit_while_mail_stalls(session, mail):
    """Returns the process of the second start, which runs once the first has ended."""
    first = MailHost.start_orvella(session, mail, CLIENT, without_mtr=True)
    request_report(session)
    connected = wait_for_mail_connection(session, mail, 0)
    menu = MailHost.open_tray_menu(session)
    session.click(*session.menu_item(menu, MailHost.EXIT_ITEM))
    second = session.start(MailHost.orvella_binds(session, mail, without_mtr=True))
    time.sleep(3)
    if second.poll() is not None or first.poll() is not None:
        e2e.fail(f"while the first one ends a second start ended with {second.poll()}, the first with {first.poll()}")
    box = session.wait_window(ERROR_BOX, timeout=CONNECT_BOUND + SLACK)
    print(f"the mail's failure shown {time.monotonic() - connected:.1f} s after its connection")
    session.screenshot("mail-error-after-exit")
    session.x("xdotool", "windowfocus", "--sync", box.id)
    session.x("xdotool", "key", "Return")
    try:
        code = first.wait(timeout=SLACK)
    except subprocess.TimeoutExpired:
        e2e.fail("orvella did not end once its mail's failure was dismissed")
    if code != 0:
        e2e.fail(f"exit code {code}")
    e2e.wait_for("the second start as the running monitor", lambda: session.running_pids() == [second.pid])
    e2e.wait_for("the second start's tray icon", session.tray_icon)
    if second.poll() is not None:
        e2e.fail(f"the second start ended with {second.returncode}")
    session.screenshot("second-start-running")
    return second


def terminated_while_mail_stalls(session, mail, orvella):
    before = mail.connections()
    request_report(session)
    connected = wait_for_mail_connection(session, mail, before)
    orvella.send_signal(signal.SIGTERM)
    try:
        code = orvella.wait(timeout=CONNECT_BOUND + SLACK)
    except subprocess.TimeoutExpired:
        if session.windows(ERROR_BOX):
            session.screenshot("mail-error-at-sigterm")
        e2e.fail("orvella did not end within the mail sender's bound after SIGTERM")
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
        second = exit_while_mail_stalls(session, mail)
        terminated_while_mail_stalls(session, mail, second)
        killed_during_trace(session, mail)


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
