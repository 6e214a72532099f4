#!/usr/bin/python3
"""A report asked for from the tray menu: after the send-report dialog the
menu item reads "Идет сбор данных" and cannot be chosen while the trace runs;
once the archive is ready it is mailed at once with the name and phone given,
no notice is shown, and the item can be chosen again."""
import sys

import e2e
import MailHost

CLIENT = "4714"
NAME, PHONE = "Анна Смирнова", "+7 912 000-11-22"
NOTICE = "Сбор данных завершен."


def item_refused_while_tracing(session, mail, tracing):
    """Chooses the menu item while tracing() says the trace runs: no dialog
    opens and no mail leaves."""
    menu = MailHost.open_tray_menu(session)
    session.screenshot("menu-collecting")
    session.click(*session.menu_item(menu, MailHost.SEND_ITEM))
    session.screenshot("menu-item-disabled")
    if session.windows(MailHost.SEND_REPORT_DIALOG):
        e2e.fail("the disabled menu item opened the send-report dialog")
    session.x("xdotool", "key", "Escape")
    if mail.mails():
        e2e.fail("a mail was sent before the trace ended")
    if not tracing():
        e2e.fail("the trace ended before the disabled item was tried: the check proves nothing")


def mailed_without_notice(session, mail, timeout):
    """The report mail arrives within timeout with the name and phone given,
    which are stored, and no notice is shown meanwhile."""
    notices = []
    received = e2e.wait_for("the report mail", lambda: notices.extend(session.windows(NOTICE)) or mail.mails(),
                            timeout=timeout, interval=0.5)
    problems = MailHost.report_mail_problems(received[0], CLIENT, NAME, PHONE)
    if problems:
        e2e.fail(f"the report mail: {'; '.join(problems)}")
    if notices or session.windows(NOTICE):
        e2e.fail("a notice was shown for a report asked for from the menu")
    stored = session.read_settings()
    if (stored.get("Name"), stored.get("Phone")) != (NAME, PHONE):
        e2e.fail(f"name and phone stored as {stored.get('Name')!r}, {stored.get('Phone')!r}")


def journey(app, build_dir, lab_tool):
    with e2e.Session("report-from-menu", app, build_dir, lab_tool, mail=True) as session, \
            MailHost.MailServer(session) as mail:
        orvella = MailHost.start_orvella(session, mail, CLIENT)
        e2e.wait_for("the server's first samples", lambda: session.log_path("rdp"), timeout=30)
        menu = MailHost.open_tray_menu(session)
        session.screenshot("menu")
        session.click(*session.menu_item(menu, MailHost.SEND_ITEM))
        MailHost.send_report(session, NAME, PHONE)

        # mtr traces for about 100 s: the item stays disabled all that time.
        tracing = lambda: "mtr" in MailHost.descendants(orvella.pid).values()
        e2e.wait_for("a trace", tracing, timeout=20)
        item_refused_while_tracing(session, mail, tracing)
        mailed_without_notice(session, mail, timeout=150)
        menu = MailHost.open_tray_menu(session)
        session.screenshot("menu-after-report")
        session.x("xdotool", "key", "Escape")
        session.stop(orvella)


if __name__ == "__main__":
    sys.exit(e2e.main(journey))
