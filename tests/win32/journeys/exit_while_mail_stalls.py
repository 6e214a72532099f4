#!/usr/bin/python3
""""Выход" from the Windows program's tray menu while its report mail waits
for a mail server that never answers: a second start meanwhile waits; once
the sender's bound for its connection has run out, the failed send is shown
in a message box, the program ends when it is dismissed, nothing of it is
left running, and the waiting start becomes the running monitor."""
import sys

import wine_journey
from wine_journey import MailHost
from EndingWhileBusy import exit_while_mail_stalls


def journey(world):
    with world.session("exit-while-mail-stalls", mail=True) as session, \
            MailHost.MailServer(session, stall=True) as mail:
        session.install()
        second = exit_while_mail_stalls(session, mail)
        session.exit_by_menu(second)


if __name__ == "__main__":
    sys.exit(wine_journey.main(journey))
