#!/usr/bin/python3
"""A mail server for the report mail tests, on aiosmtpd: on a free port of
127.0.0.1 unless told where to listen (the end-to-end tests put it on port 465
of a simulated network's mail host).

Prints "PORT <number>" once it listens and serves until its standard input
closes. Every command verb it sees goes to OUT/commands.txt, one a line. Every
message it takes is parsed with Python's email parser and described in
OUT/mail-<n>.json; its attachment is saved as OUT/mail-<n>-<file name>.
"""
import argparse
import asyncio
import email
import email.header
import email.policy
import email.utils
import json
import logging
import os
import ssl
import sys
import threading

from aiosmtpd.smtp import SMTP, AuthResult


class RecordingSMTP(SMTP):
    def __init__(self, handler, out, hide_auth, **kwargs):
        super().__init__(handler, **kwargs)
        self.out = out
        self.hide_auth = hide_auth

    async def push(self, status):
        # A server that offers no log-in at all: no AUTH line in EHLO.
        if self.hide_auth and status.startswith("250-AUTH"):
            return
        await super().push(status)

    def connection_made(self, transport):
        self._record("CONNECT")
        super().connection_made(transport)

    def _record(self, verb):
        with open(os.path.join(self.out, "commands.txt"), "a") as log:
            log.write(verb + "\n")


def recording(verb):
    """The server's own command handler, which first notes the verb."""
    async def handler(self, arg):
        self._record(verb)
        await getattr(SMTP, "smtp_" + verb)(self, arg)
    return handler


for _verb in ("EHLO", "STARTTLS", "AUTH", "MAIL", "DATA"):
    setattr(RecordingSMTP, "smtp_" + _verb, recording(_verb))


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = mechanism == "LOGIN" and auth_data.login == self.user and auth_data.password == self.password
        return AuthResult(success=ok, handled=ok, message=None if ok else "535 5.7.8 Test server: wrong password")


class Handler:
    def __init__(self, out):
        self.out = out
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.out, "mail-%d" % self.count)
        message = email.message_from_bytes(envelope.content, policy=email.policy.compat32)
        parts = message.get_payload() if message.is_multipart() else []
        description = {
            "envelope_from": envelope.mail_from,
            "envelope_to": envelope.rcpt_tos,
            "authenticated": bool(session.authenticated),
            "from": message["From"],
            "sender": message["Sender"],
            "to": message["To"],
            "subject_raw": message["Subject"],
            "subject": str(email.header.make_header(email.header.decode_header(message["Subject"]))),
            "date": message["Date"],
            "date_parsed": email.utils.parsedate_to_datetime(message["Date"]).isoformat(),
            "content_type": message.get_content_type(),
            "parts": [],
        }
        for part in parts:
            payload = part.get_payload(decode=True)
            entry = {
                "content_type": part.get_content_type(),
                "charset": part.get_content_charset(),
                "encoding": part["Content-Transfer-Encoding"],
                "filename": part.get_filename(),
                "payload_hex": payload.hex() if part.get_filename() is None else None,
            }
            if part.get_filename():
                entry["saved_as"] = base + "-" + os.path.basename(part.get_filename())
                with open(entry["saved_as"], "wb") as saved:
                    saved.write(payload)
            description["parts"].append(entry)
        with open(base + ".json", "w") as result:
            json.dump(description, result)
        return "250 OK"


class Silent(asyncio.Protocol):
    """Takes the connection and never says a word."""

    def __init__(self, out):
        self.out = out

    def connection_made(self, transport):
        with open(os.path.join(self.out, "commands.txt"), "a") as log:
            log.write("CONNECT\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--size", type=int, default=0, help="announced maximum message size; 0 for none")
    parser.add_argument("--no-starttls", action="store_true")
    parser.add_argument("--no-auth", action="store_true", help="offer no AUTH and take mail without it")
    parser.add_argument("--silent", action="store_true")
    args = parser.parse_args()
    # Failed handshakes and refused log-ins are what the tests provoke.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    if args.silent:
        def factory():
            return Silent(args.out)
    else:
        tls = None
        if not args.no_starttls:
            tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
            tls.load_cert_chain(args.cert, args.key)
        handler = Handler(args.out)

        def factory():
            return RecordingSMTP(
                handler, args.out, args.no_auth, hostname="orvella-test", loop=loop,
                data_size_limit=args.size or None, tls_context=tls, require_starttls=tls is not None,
                auth_required=not args.no_auth, authenticator=Authenticator(args.user, args.password))

    server = loop.run_until_complete(loop.create_server(factory, args.host, args.port))
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)

    def wait_for_stdin_close():
        sys.stdin.buffer.read()
        loop.call_soon_threadsafe(loop.stop)

    threading.Thread(target=wait_for_stdin_close, daemon=True).start()
    loop.run_forever()


if __name__ == "__main__":
    main()
