"""The support desk's mail server for the end-to-end journeys, and what the
report journeys share: orvella started to mail there, its tray menu, the
send-report dialog filled in as a user does, and its trace processes.

The test makes its own certificate authority and a certificate for the mail
host's name with openssl, and the program finds that authority in a bundle
bind-mounted over the system's one (libcurl reads that file and verifies as
always). aiosmtpd serves STARTTLS and AUTH LOGIN on port 465 of the mail host's
namespace and describes every mail it takes in OUT/mail-<n>.json.
"""
import glob
import json
import os
import shutil
import subprocess
import time

import e2e

SMTP_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration", "report",
                           "SmtpTestServer.py")
SYSTEM_CA_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
# The program's built-in mail account (its default fixed values).
ACCOUNT = "reports@orvella.example"
PASSWORD = "example.9"
SUPPORT_MAILBOX = "support@orvella.example"
SEND_REPORT_DIALOG = "Форма отправки данных"
SEND_REPORT_CLIENT = (291, 259)
# Rows of the tray menu.
MENU_ITEMS, SEND_ITEM, EXIT_ITEM = 5, 2, 4


def make_certificates(folder, host_name):
    """Writes ca.pem (the bundle to mount), server.pem and server.key; returns their paths."""
    key = ["-newkey", "rsa:2048", "-nodes"]
    run = lambda *args: subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)
    run("req", "-x509", *key, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Orvella Test CA")
    run("req", *key, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=" + host_name)
    with open(os.path.join(folder, "san.ext"), "w") as ext:
        ext.write("subjectAltName=DNS:%s\n" % host_name)
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
        "-out", "server.pem", "-days", "2", "-extfile", "san.ext")
    return {name: os.path.join(folder, name) for name in ("ca.pem", "server.pem", "server.key")}


class MailServer:
    """aiosmtpd in a namespace; with stall=True it takes connections and never answers."""

    def __init__(self, session, stall=False):
        folder = os.path.join(session.home, "mail-host")
        self.out = os.path.join(folder, "received")
        os.makedirs(self.out)
        certs = make_certificates(folder, e2e.SMTP_HOST)
        self.ca_bundle = certs["ca.pem"]
        command = ["ip", "netns", "exec", session.lab["mail"], "/usr/bin/python3", SMTP_SERVER, "--host", "0.0.0.0",
                   "--port", "465", "--out", self.out, "--cert", certs["server.pem"], "--key", certs["server.key"],
                   "--user", ACCOUNT, "--password", PASSWORD]
        self.process = subprocess.Popen(command + (["--silent"] if stall else []), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        if not self.process.stdout.readline().startswith("PORT "):
            self.process.kill()
            self.process.wait()
            e2e.fail("the mail server did not start on port 465 of the mail host")

    def bind_mount(self):
        """(source, target) that gives the program the test's authority as its only one."""
        return self.ca_bundle, SYSTEM_CA_BUNDLE

    def connections(self):
        try:
            with open(os.path.join(self.out, "commands.txt")) as log:
                return log.read().split().count("CONNECT")
        except FileNotFoundError:
            return 0

    def mails(self):
        found = sorted(glob.glob(os.path.join(self.out, "mail-*.json")))
        result = []
        for name in found:
            with open(name) as description:
                result.append(json.load(description))
        return result

    def wait_for_mail(self, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            mails = self.mails()
            if mails:
                return mails[0]
            time.sleep(0.5)
        return None

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *error):
        self.close()


def report_mail_problems(mail, client_id, name, phone):
    """What is wrong with a report mail as the server recorded it; empty when nothing."""
    problems = []
    if mail["subject"] != "Отчет Orvella":
        problems.append("subject %r" % mail["subject"])
    if mail["envelope_to"] != [SUPPORT_MAILBOX]:
        problems.append("recipients %r" % mail["envelope_to"])
    if not mail["authenticated"]:
        problems.append("not authenticated")
    parts = mail["parts"]
    if len(parts) != 2:
        return problems + ["%d parts" % len(parts)]
    text = bytes.fromhex(parts[0]["payload_hex"]).decode(parts[0]["charset"] or "ascii")
    expected = "Номер клиента: %s\r\nИмя пользователя: %s\r\nКонтактный номер телефона: %s" % (client_id, name, phone)
    if text != expected:
        problems.append("text %r" % text)
    archive = parts[1]
    if archive["content_type"] != "application/zip" or not archive["filename"].endswith(".zip"):
        problems.append("attachment %s %s" % (archive["content_type"], archive["filename"]))
    elif subprocess.run(["unzip", "-tq", archive["saved_as"]], capture_output=True).returncode != 0:
        problems.append("unzip -t rejects the attachment")
    return problems


def start_orvella(session, mail, client, without_mtr=False):
    """Starts orvella monitoring for client, trusting the mail host's authority;
    without_mtr hides mtr from it, so that it traces with tracepath, which is
    done in a moment where mtr takes 100 rounds of a second."""
    return session.start_monitoring(client, e2e.load_monitors_off(), orvella_binds(session, mail, without_mtr))


def orvella_binds(session, mail, without_mtr=False):
    """The mounts of start_orvella, for starting it again."""
    binds = [mail.bind_mount()]
    if without_mtr:
        hidden = os.path.join(session.home, "no-mtr")
        open(hidden, "w").close()
        binds.append((hidden, shutil.which("mtr")))
    return binds


def open_tray_menu(session):
    icon = e2e.wait_for("orvella's tray icon", session.tray_icon)
    return session.popup(lambda: session.click(*icon.centre(), button=3), MENU_ITEMS)


def send_report(session, name, phone):
    """Fills in the send-report dialog and presses "Отправить"."""
    dialog = session.wait_window(SEND_REPORT_DIALOG)
    left, top_edge = session.client_origin(dialog, SEND_REPORT_CLIENT)
    # A Russian layout beside the English one, as a Russian user has: with
    # letters missing from the keyboard map xdotool remaps a key for each one,
    # and the program may read a key press before it sees the new map.
    session.x("setxkbmap", "-layout", "us,ru")
    for top, text in ((32, name), (88, phone)):
        session.click(left + 100, top_edge + top + 10)
        session.x("xdotool", "type", "--delay", "40", text)
    session.screenshot("send-report-dialog")
    session.click(left + 227, top_edge + 228)
    session.wait_no_window(SEND_REPORT_DIALOG)


def descendants(pid, children_only=False):
    """{(pid, start time): command name} of every process below pid."""
    table = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/stat") as stat:
                text = stat.read()
        except (OSError, ValueError):
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        fields = text[text.rindex(")") + 2:].split()
        table[int(entry)] = (int(fields[1]), fields[19], name)
    found, parents = {}, {pid}
    while parents:
        children = {child for child, (parent, _, _) in table.items() if parent in parents}
        found.update({(child, table[child][1]): table[child][2] for child in children})
        parents = set() if children_only else children
    return found


def alive(process):
    """Whether a (pid, start time) pair from descendants() still runs (a zombie does not)."""
    pid, start = process
    try:
        with open(f"/proc/{pid}/stat") as stat:
            text = stat.read()
    except OSError:
        return False
    fields = text[text.rindex(")") + 2:].split()
    return fields[19] == start and fields[0] != "Z"
