"""The support desk's mail server for the end-to-end journeys.

The test makes its own certificate authority and a certificate for the mail
host's name with openssl, and the program finds that authority in a bundle
bind-mounted over the system's one (libcurl reads that file and verifies as
always). aiosmtpd serves STARTTLS and AUTH LOGIN on port 465 of the mail host's
namespace and describes every mail it takes in OUT/mail-<n>.json.
"""
import glob
import json
import os
import subprocess
import time

SMTP_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration", "report",
                           "SmtpTestServer.py")
SYSTEM_CA_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"


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

    def __init__(self, namespace, folder, host_name, user, password, stall=False):
        self.out = os.path.join(folder, "mail")
        os.makedirs(self.out, exist_ok=True)
        certs = make_certificates(folder, host_name)
        self.ca_bundle = certs["ca.pem"]
        command = ["ip", "netns", "exec", namespace, "/usr/bin/python3", SMTP_SERVER, "--host", "0.0.0.0",
                   "--port", "465", "--out", self.out, "--cert", certs["server.pem"], "--key", certs["server.key"],
                   "--user", user, "--password", password]
        self.process = subprocess.Popen(command + (["--silent"] if stall else []), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        if not self.process.stdout.readline().startswith("PORT "):
            raise RuntimeError("the mail server did not start")

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


def report_mail_problems(mail, client_id, name, phone, support_mailbox):
    """What is wrong with a report mail as the server recorded it; empty when nothing."""
    problems = []
    if mail["subject"] != "Отчет Orvella":
        problems.append("subject %r" % mail["subject"])
    if mail["envelope_to"] != [support_mailbox]:
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
