"""A throw-away FTP server for the remote tests.

Serves --root for one user on 127.0.0.1, prints the port it listens on (one
line) and serves until it is killed. Options make it misbehave on purpose:
--drop-stor N closes the control connection instead of answering the N-th
STOR (counted from 1, once), --refuse-mkd WORD refuses every MKD whose path
contains WORD, --refuse-rename refuses every RNFR.
"""
import argparse
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--drop-stor", type=int, default=0)
    parser.add_argument("--refuse-mkd", default="")
    parser.add_argument("--refuse-rename", action="store_true")
    args = parser.parse_args()

    # The password comes through a file so it never shows in a process list.
    with open(args.password_file) as f:
        password = f.read()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, password, args.root, perm="elradfmwMT")

    state = {"stor": 0}

    class Handler(FTPHandler):
        def ftp_STOR(self, file, mode="w"):
            state["stor"] += 1
            if state["stor"] == args.drop_stor:
                self.close()
                return
            return super().ftp_STOR(file, mode)

        def ftp_MKD(self, path):
            if args.refuse_mkd and args.refuse_mkd in path:
                self.respond("550 Permission denied.")
                return
            return super().ftp_MKD(path)

        def ftp_RNFR(self, path):
            if args.refuse_rename:
                self.respond("550 Renaming is not allowed here.")
                return
            return super().ftp_RNFR(path)

    Handler.authorizer = authorizer
    Handler.banner = "test server ready"
    Handler.passive_ports = None
    server = FTPServer(("127.0.0.1", args.port), Handler)
    print(server.socket.getsockname()[1], flush=True)
    sys.stdout.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
