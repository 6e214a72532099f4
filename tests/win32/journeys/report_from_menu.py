#!/usr/bin/python3
"""A report asked for from the Windows program's tray menu: after the
send-report dialog, filled in with a Cyrillic name, the item reads
"Идет сбор данных" and cannot be chosen while pathping traces; once the
archive is ready it is mailed at once with the name and phone typed, no
notice is shown, and the item opens the dialog again."""
import sys

import wine_journey
from wine_journey import e2e, MailHost
from ReportFromMenu import CLIENT, NAME, PHONE, item_refused_while_tracing, mailed_without_notice

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

        tracing = lambda: session.running_pids("pathping")
        e2e.wait_for("a trace", tracing, timeout=30)
        item_refused_while_tracing(session, mail, tracing)
        mailed_without_notice(session, mail, timeout=TRACE_SECONDS + 60)
        menu = MailHost.open_tray_menu(session)
        session.screenshot("menu-after-report")
        session.click(*session.menu_item(menu, MailHost.SEND_ITEM))
        session.wait_window(MailHost.SEND_REPORT_DIALOG)
        session.screenshot("send-report-dialog-again")
        session.exit_by_menu(orvella)


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
