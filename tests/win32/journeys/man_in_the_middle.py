#!/usr/bin/python3
"""A report mailed from the Windows program to a mail host whose certificate
comes from an authority the system does not trust (the test's own, not in
the host's root certificates that Wine's root store holds): the mail is
refused with a message box, and the password is never sent (the server's
command log has no AUTH)."""
import os
import sys

import wine_journey
from wine_journey import e2e, MailHost
from EndingWhileBusy import ERROR_BOX, request_report

CLIENT = "4718"


def journey(world):
    with world.session("man-in-the-middle", mail=True) as session, MailHost.MailServer(session) as mail:
        session.install()
        orvella = session.start_monitoring(CLIENT, e2e.load_monitors_off())
        e2e.wait_for("the server's first samples", lambda: session.log_path("rdp"), timeout=90)
        request_report(session)
        e2e.wait_for("the mail sender's connection", lambda: mail.connections() > 0, timeout=60)
        box = session.wait_window(ERROR_BOX, timeout=60)
        session.screenshot("mail-refused")
        with open(os.path.join(mail.out, "commands.txt")) as log:
            commands = log.read()
        if "AUTH" in commands.upper() or mail.mails():
            e2e.fail(f"the password or the mail went to an untrusted server: {commands!r}")
        session.x("xdotool", "windowfocus", "--sync", box.id)
        session.x("xdotool", "key", "Return")
        session.wait_no_window(ERROR_BOX)
        session.exit_by_menu(orvella)


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
