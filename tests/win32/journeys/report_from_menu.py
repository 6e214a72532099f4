#!/usr/bin/python3
"""A report asked for from the Windows program's tray menu: after the
send-report dialog, filled in with a Cyrillic name, the item reads
"Идет сбор данных" and cannot be chosen while pathping traces; once the
archive is ready it is mailed at once with the name and phone typed, no
notice is shown, and the item opens the dialog again."""
import sys

import wine_journey
from wine_journey import e2e, MailHost
from ReportFromMenu import CLIENT, NAME, NOTICE, PHONE

TRACE_SECONDS = 20


def journey(world):
    with world.session("report-from-menu", mail=True) as session, MailHost.MailServer(session) as mail:
        session.install()
        session.env["PATHPING_STAND_IN_SECONDS"] = str(TRACE_SECONDS)
        orvella = MailHost.start_orvella(session, mail, CLIENT)
        e2e.wait_for("the server's first samples", lambda: session.log_path("rdp"), timeout=90)
        menu = MailHost.open_tray_menu(session)
        session.screenshot("menu")
        session.click(*session.menu_item(menu, MailHost.SEND_ITEM))
        MailHost.send_report(session, NAME, PHONE)

        e2e.wait_for("a trace", lambda: session.running_pids("pathping"), timeout=30)
        menu = MailHost.open_tray_menu(session)
        session.screenshot("menu-collecting")
        session.click(*session.menu_item(menu, MailHost.SEND_ITEM))
        session.screenshot("menu-item-disabled")
        if session.windows(MailHost.SEND_REPORT_DIALOG):
            e2e.fail("the disabled menu item opened the send-report dialog")
        session.x("xdotool", "key", "Escape")
        if mail.mails() or not session.running_pids("pathping"):
            e2e.fail("the trace ended before the disabled item was tried: the check proves nothing")

        notices = []
        received = e2e.wait_for("the report mail", lambda: notices.extend(session.windows(NOTICE)) or mail.mails(),
                                timeout=TRACE_SECONDS + 60, interval=0.5)
        problems = MailHost.report_mail_problems(received[0], CLIENT, NAME, PHONE)
        if problems:
            e2e.fail(f"the report mail: {'; '.join(problems)}")
        if notices or session.windows(NOTICE):
            e2e.fail("a notice was shown for a report asked for from the menu")
        stored = session.read_settings()
        if (stored.get("Name"), stored.get("Phone")) != (NAME, PHONE):
            e2e.fail(f"name and phone stored as {stored.get('Name')!r}, {stored.get('Phone')!r}")
        menu = MailHost.open_tray_menu(session)
        session.screenshot("menu-after-report")
        session.click(*session.menu_item(menu, MailHost.SEND_ITEM))
        session.wait_window(MailHost.SEND_REPORT_DIALOG)
        session.screenshot("send-report-dialog-again")
        session.exit_by_menu(orvella)


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
