"""An SMTP server that keeps what it receives, for the mail delivery tests.

Usage: smtp_sink.py PORT DIRECTORY

Listens on 127.0.0.1:PORT until terminated. Message n (counted from 1) is stored as n.from
(envelope sender), n.rcpt (envelope recipients, one a line) and n.eml (the content as the
server took it, transparency dots removed). The files are complete before the server
acknowledges the message. Exits with status 3 when aiosmtpd is missing.
"""

import os
import sys
import threading

try:
    from aiosmtpd.controller import Controller
except ImportError:
    sys.exit(3)


class Sink:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        with open(base + ".from", "w", encoding="utf-8") as out:
            out.write(envelope.mail_from)
        with open(base + ".rcpt", "w", encoding="utf-8") as out:
            out.writelines(address + "\n" for address in envelope.rcpt_tos)
        with open(base + ".eml", "wb") as out:
            out.write(envelope.original_content)
        return "250 Message accepted for delivery"


def main():
    port, directory = int(sys.argv[1]), sys.argv[2]
    Controller(Sink(directory), hostname="127.0.0.1", port=port).start()
    threading.Event().wait()  # SIGTERM ends the process


if __name__ == "__main__":
    main()
