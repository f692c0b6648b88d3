#!/usr/bin/env python3
"""A scripted SFTP server for the tests (asyncssh), on 127.0.0.1 only.

Serves the folder ROOT (as "/", and the login folder) to one user who logs
in with a password, by keyboard-interactive, or both, with the host key
from KEYFILE. A fault can be asked for:

  none        behave
  drop:N      close the connection once a read reaches byte N of a file
  stall       never answer a read or a write
  short:N     state every opened file's size as N bytes more than it has
              (N < 0: fewer)
  replace     rename the POSIX way, replacing an existing target
  cut:N       close the connection once a read reaches byte N of a file,
              the first time only: later connections are served whole
  stallwrite:N  never answer the first write that reaches byte N (nor any
              after it), until the client gives up; later connections are
              served
  toomany     turn every connection away before the login, with the
              disconnect reason "too many connections"

Writes "listening on PORT" to standard error once it accepts connections,
"login attempt" for every password or answer a client sends, "read from N"
and "write from N" for the first read and write of each open file (its
offset), and "stat PATH" for every stat.
"""
import argparse
import asyncio
import sys

import asyncssh


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--host-key", required=True)
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--login", choices=["password", "kbdint", "both"], default="password")
    parser.add_argument("--fault", default="none")
    return parser.parse_args()


ARGS = parse_arguments()
FAULT, _, FAULT_NUMBER = ARGS.fault.partition(":")
FAULT_NUMBER = int(FAULT_NUMBER or 0)
# Whether the one fault of "cut" and "stallwrite" is still to come.
CUT_PENDING = [FAULT in ("cut", "stallwrite")]


def note(text):
    print(text, file=sys.stderr, flush=True)


class Login(asyncssh.SSHServer):
    def begin_auth(self, username):
        if FAULT == "toomany":
            raise asyncssh.DisconnectError(asyncssh.DISC_TOO_MANY_CONNECTIONS, "Too many connections")
        return True

    def password_auth_supported(self):
        return ARGS.login in ("password", "both")

    def validate_password(self, username, password):
        note("login attempt")
        return username == ARGS.user and password == ARGS.password

    def kbdint_auth_supported(self):
        return ARGS.login in ("kbdint", "both")

    def get_kbdint_challenge(self, username, lang, submethods):
        return "", "", "", [("Password: ", False)]

    def validate_kbdint_response(self, username, responses):
        note("login attempt")
        return username == ARGS.user and list(responses) == [ARGS.password]


class Files(asyncssh.SFTPServer):
    def __init__(self, chan):
        super().__init__(chan, chroot=ARGS.root)
        self.used_files = set()

    def note_first(self, verb, file_obj, offset):
        if id(file_obj) not in self.used_files:
            self.used_files.add(id(file_obj))
            note(f"{verb} from {offset}")

    def cut_now(self, fault, end):
        if FAULT == fault and CUT_PENDING[0] and end > FAULT_NUMBER:
            CUT_PENDING[0] = False
            return True
        return False

    def close(self, file_obj):
        self.used_files.discard(id(file_obj))
        return super().close(file_obj)

    def read(self, file_obj, offset, size):
        self.note_first("read", file_obj, offset)
        if FAULT == "stall":
            return asyncio.get_event_loop().create_future()
        if (FAULT == "drop" and offset + size > FAULT_NUMBER) or self.cut_now("cut", offset + size):
            self.channel.get_connection().abort()
            return asyncio.get_event_loop().create_future()
        return super().read(file_obj, offset, size)

    def write(self, file_obj, offset, data):
        self.note_first("write", file_obj, offset)
        if FAULT == "stall":
            return asyncio.get_event_loop().create_future()
        if self.cut_now("stallwrite", offset + len(data)):
            # Requests are served one after the other: every write before
            # this one is done and answered, and the client has the
            # answers while it waits for this one, which never comes.
            return asyncio.get_event_loop().create_future()
        return super().write(file_obj, offset, data)

    def stat(self, path):
        note(f"stat {path.decode(errors='replace')}")
        return super().stat(path)

    def rename(self, oldpath, newpath):
        if FAULT == "replace":
            return self.posix_rename(oldpath, newpath)
        return super().rename(oldpath, newpath)

    def fstat(self, file_obj):
        attrs = asyncssh.SFTPAttrs.from_local(super().fstat(file_obj))
        if FAULT == "short":
            attrs.size += FAULT_NUMBER
        return attrs


async def serve():
    key = asyncssh.read_private_key(ARGS.host_key)
    server = await asyncssh.listen(host="127.0.0.1", port=0, server_host_keys=[key],
                                   server_factory=Login, sftp_factory=Files,
                                   allow_scp=False)
    port = server.sockets[0].getsockname()[1]
    note(f"listening on {port}")
    await asyncio.Event().wait()


asyncio.run(serve())
