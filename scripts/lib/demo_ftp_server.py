# The demo FTP server: Debian's pyftpdlib on 127.0.0.1, user demo with
# password demo and write access, like `python3 -m pyftpdlib -w -u demo -P demo`,
# except that transfers are held to a few MB/s: on loopback a 50 MB file
# would otherwise arrive before the progress bar shows anything.
#   demo_ftp_server.py FOLDER BYTES_PER_SECOND
# Listens on a port the system picks; the start-up log line names it.
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    folder, rate = sys.argv[1], int(sys.argv[2])
    authorizer = DummyAuthorizer()
    authorizer.add_user("demo", "demo", folder, perm="elradfmwMT")

    class SlowData(ThrottledDTPHandler):
        read_limit = rate
        write_limit = rate

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.dtp_handler = SlowData
    FTPServer(("127.0.0.1", 0), Handler).serve_forever()


if __name__ == "__main__":
    main()
