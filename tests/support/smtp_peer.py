#!/usr/bin/python3
"""An SMTP server on 127.0.0.1 for the mail check tests.

Prints the port it listens on as the first line of stdout, then one line per
event the tests look at ("auth ok USER", "auth failed USER", "quit"). Runs
until it is terminated.

  --user NAME --password WORD  the one account that logs in
  --no-auth                    offers no authentication at all
  --tls CERT KEY               offers STARTTLS with this certificate; AUTH is
                               then only accepted after STARTTLS
"""

import argparse
import asyncio
import logging
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def say(line):
    print(line, flush=True)


class Handler:
    async def handle_QUIT(self, server, session, envelope):
        say("quit")
        return "221 Bye"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--no-auth", action="store_true")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()
    logging.disable(logging.CRITICAL)

    def authenticate(server, session, envelope, mechanism, data):
        if not isinstance(data, LoginPassword):
            return AuthResult(success=False, handled=False)
        user = data.login.decode("utf-8", "replace")
        ok = data.login == args.user.encode() and data.password == args.password.encode()
        say(("auth ok " if ok else "auth failed ") + user)
        return AuthResult(success=ok, handled=False)

    tls = None
    if args.tls:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.tls[0], args.tls[1])

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def session():
        # Without TLS on offer, requiring it for AUTH is how a server offers none.
        return SMTP(Handler(), hostname="peer.test", authenticator=authenticate,
                    tls_context=tls, auth_require_tls=args.no_auth or tls is not None,
                    loop=loop)

    server = loop.run_until_complete(loop.create_server(session, "127.0.0.1", 0))
    say(server.sockets[0].getsockname()[1])
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
