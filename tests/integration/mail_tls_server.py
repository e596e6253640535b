"""An SMTP server with TLS and login for Pigeon's integration tests.

Usage: mail_tls_server.py PORT DIRECTORY MODE CERT KEY USER PASSWORD [MECHANISMS]

MODE is "starttls" (offers STARTTLS and requires it), "implicit" (TLS from the first byte) or
"plain" (offers no STARTTLS). Logins are accepted for USER with PASSWORD, over TLS only;
MECHANISMS (e.g. "LOGIN") limits the mechanisms offered. Listens on 127.0.0.1:PORT until
terminated. Message n (from 1) is stored as n.eml (the content as received, transparency dots
removed) and n.json (what Python's email parser makes of it, and how the session went); every
byte received without encryption is appended to 0.clear. Exits with status 3 when aiosmtpd
is missing.
"""

import email
import email.policy
import json
import os
import ssl
import sys
import threading

try:
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword
except ImportError:
    sys.exit(3)


class Sink:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        parsed = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "subject": str(message["Subject"]),
            "from": str(message["From"]),
            "to": str(message["To"]),
            "message_id": str(message["Message-ID"]),
            "content_type": message.get_content_type(),
            "charset": message.get_content_charset(),
            "body": message.get_content(),
            "login": session.auth_data or "",  # mechanism and user name
            "tls": server.transport.get_extra_info("ssl_object") is not None,
        }
        with open(base + ".eml", "wb") as out:
            out.write(envelope.original_content)
        with open(base + ".json", "w", encoding="utf-8") as out:
            json.dump(parsed, out, ensure_ascii=False)
        return "250 Message accepted for delivery"


class RecordingSMTP(SMTP):
    """Appends what arrives in clear text to 0.clear."""

    clear_log = None

    def data_received(self, data):
        if self.transport.get_extra_info("ssl_object") is None:
            with open(self.clear_log, "ab") as out:
                out.write(data)
        super().data_received(data)


class TlsController(Controller):
    def factory(self):
        return RecordingSMTP(self.handler, **self.SMTP_kwargs)


def main():
    port, directory, mode, cert, key, user, password = sys.argv[1:8]
    mechanisms = sys.argv[8].split(",") if len(sys.argv) > 8 else None
    RecordingSMTP.clear_log = os.path.join(directory, "0.clear")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        login = auth_data.login.decode("utf-8") if ok else ""
        return AuthResult(success=ok, handled=False, auth_data=mechanism + " " + login)

    options = {"authenticator": authenticator, "auth_require_tls": True}
    if mechanisms:
        options["auth_exclude_mechanism"] = [m for m in ("LOGIN", "PLAIN") if m not in mechanisms]
    if mode == "starttls":
        options.update(tls_context=context, require_starttls=True)
    elif mode == "implicit":
        # The whole connection is encrypted; the server's own check only knows STARTTLS.
        options.update(ssl_context=context, auth_require_tls=False)
    controller = TlsController(Sink(directory), hostname="127.0.0.1", port=int(port), **options)
    controller.start()
    threading.Event().wait()  # SIGTERM ends the process


if __name__ == "__main__":
    main()
