"""A throw-away FTP server for the remote tests.

Serves --root for one user on 127.0.0.1 (or --host; --passive-ports
FIRST-LAST for its data connections), prints the port it listens on (one
line) and serves until it is killed. Options make it misbehave on purpose:
--drop-stor N closes the control connection instead of answering the N-th
STOR (counted from 1, once), --drop-stor-of NAME does so at the first STOR of
a name containing NAME, --refuse-mkd WORD refuses every MKD whose path
contains WORD, --refuse-rename refuses every RNFR, --deny-dot refuses names
starting with "." (as vsftpd's deny_file={.*}), --refuse-stor NAME:CODE
answers CODE to a STOR of a name containing NAME, --die-in-stor NAME ends the server in the
middle of receiving NAME (a pattern: "*" for any text), --stall-in-stor NAME
stops answering there, and
--cut-stor NAME:BYTES[:1] keeps only BYTES bytes of files whose name holds
NAME and answers 226 all the same (":1": the first such file only),
--refuse-overwrite answers 550 to a STOR onto an existing file, --reply
CODE:TEXT answers USER with that reply ("|" between its lines) and closes,
--slow-first-login-ms N holds the first login's PASS that long (with
--threaded, the others go on), --delay-ms N waits N milliseconds before every reply, --log-commands FILE
appends each command received to FILE with its time (a password never).
--threaded serves each connection on its own thread, so that a delay holds up
only the connection it answers (as the network's latency does).
"""
import argparse
import fnmatch
import os
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer, ThreadedFTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--passive-ports", default="")
    parser.add_argument("--drop-stor", type=int, default=0)
    parser.add_argument("--drop-stor-of", default="")
    parser.add_argument("--refuse-mkd", default="")
    parser.add_argument("--refuse-rename", action="store_true")
    parser.add_argument("--deny-dot", action="store_true")
    parser.add_argument("--refuse-stor", default="")
    parser.add_argument("--die-in-stor", default="")
    parser.add_argument("--stall-in-stor", default="")
    parser.add_argument("--delay-ms", type=int, default=0)
    parser.add_argument("--cut-stor", default="")
    parser.add_argument("--refuse-overwrite", action="store_true")
    parser.add_argument("--refuse-stat", action="store_true")
    parser.add_argument("--reply", default="")
    parser.add_argument("--slow-first-login-ms", type=int, default=0)
    parser.add_argument("--log-commands", default="")
    parser.add_argument("--threaded", action="store_true")
    args = parser.parse_args()
    refused_name, _, refused_code = args.refuse_stor.partition(":")

    # The password comes through a file so it never shows in a process list.
    with open(args.password_file) as f:
        password = f.read()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, password, args.root, perm="elradfmwMT")

    state = {"stor": 0, "dropped_of": False, "cuts": 0}
    cut_parts = args.cut_stor.split(":") if args.cut_stor else []
    cut_name = cut_parts[0] if cut_parts else ""
    cut_bytes = int(cut_parts[1]) if len(cut_parts) > 1 else 0
    cut_limit = int(cut_parts[2]) if len(cut_parts) > 2 else 0

    class Cut:
        """A file being received of which only the first bytes are kept."""

        def __init__(self, f):
            self.f = f
            self.kept = 0

        def write(self, data):
            room = max(0, cut_bytes - self.kept)
            self.f.write(data[:room])
            self.kept += min(room, len(data))
            return len(data)

        def __getattr__(self, name):
            return getattr(self.f, name)

    class Breaking:
        """A file being received that ends or stalls the server half way."""

        def __init__(self, f, die):
            self.f = f
            self.die = die
            self.written = 0

        def write(self, data):
            self.f.write(data)
            self.written += len(data)
            if self.written >= 16384:
                self.f.flush()
                if self.die:
                    os._exit(1)
                while True:
                    time.sleep(60)

        def __getattr__(self, name):
            return getattr(self.f, name)

    class FS(AbstractedFS):
        def open(self, filename, mode):
            f = super().open(filename, mode)
            base = os.path.basename(filename)
            dies = args.die_in_stor and fnmatch.fnmatchcase(base, args.die_in_stor)
            stalls = args.stall_in_stor and fnmatch.fnmatchcase(base, args.stall_in_stor)
            if "w" in mode and (dies or stalls):
                return Breaking(f, dies)
            if "w" in mode and cut_name and cut_name in base and \
                    (not cut_limit or state["cuts"] < cut_limit):
                state["cuts"] += 1
                return Cut(f)
            return f

    def dotted(path):
        return os.path.basename(path.rstrip("/")).startswith(".")

    class Handler(FTPHandler):
        def respond(self, resp, logfun=None):
            if args.delay_ms:
                time.sleep(args.delay_ms / 1000.0)
            return super().respond(resp, logfun) if logfun else super().respond(resp)

        def pre_process_command(self, line, cmd, arg):
            if args.log_commands:
                with open(args.log_commands, "a") as log:
                    log.write("%.3f %s%s\n" % (time.time(), cmd,
                                               " " + arg if arg and cmd != "PASS" else ""))
            if args.deny_dot and cmd in ("STOR", "RNFR", "RNTO", "DELE", "SIZE", "RETR") \
                    and arg and dotted(arg):
                self.respond("550 Permission denied.")
                return
            if cmd == "PASS" and args.slow_first_login_ms and not state.get("slowed"):
                state["slowed"] = True
                time.sleep(args.slow_first_login_ms / 1000.0)
            if cmd == "USER" and args.reply:
                code, _, text = args.reply.partition(":")
                lines = text.split("|")
                for line in lines[:-1]:
                    self.push(code + "-" + line + "\r\n")
                self.respond(code + " " + lines[-1])
                self.close_when_done()
                return
            if cmd == "STAT" and args.refuse_stat:
                self.respond("502 Command not implemented.")
                return
            if cmd == "STOR" and args.refuse_overwrite and arg and \
                    os.path.exists(self.fs.ftp2fs(arg)):
                self.respond("550 Overwriting is not allowed here.")
                return
            if cmd == "STOR" and refused_name and arg and \
                    refused_name in os.path.basename(arg):
                self.respond(refused_code + " Refused by the test server.")
                return
            return super().pre_process_command(line, cmd, arg)

        def ftp_STOR(self, file, mode="w"):
            state["stor"] += 1
            if state["stor"] == args.drop_stor:
                self.close()
                return
            if args.drop_stor_of and not state["dropped_of"] and \
                    args.drop_stor_of in os.path.basename(file):
                state["dropped_of"] = True
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
    Handler.abstracted_fs = FS
    Handler.banner = "test server ready"
    Handler.passive_ports = None
    if args.passive_ports:
        first, _, last = args.passive_ports.partition("-")
        Handler.passive_ports = range(int(first), int(last) + 1)
    server = (ThreadedFTPServer if args.threaded else FTPServer)((args.host, args.port), Handler)
    print(server.socket.getsockname()[1], flush=True)
    sys.stdout.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
