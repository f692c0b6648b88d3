#pragma once
// Which protocol a server speaks, told from the server itself: after the
// TCP connect its first bytes are peeked at, without taking them from the
// socket, so one connection serves whichever engine takes it over.
//
//   "SSH-"                 SFTP
//   "220 ..." or any text  FTP
//   the implicit-TLS port  FTP over TLS from the first byte, not peeked at:
//                          such a server says nothing before our TLS hello
//   silence                SFTP on the SSH port, FTP on any other (some FTP
//                          servers greet late; the FTP engine waits for the
//                          greeting within its own reply time-out)
//
// OpenSSH at its MaxStartups limit sends "Exceeded MaxStartups" and closes:
// that is an SSH server too, whose engine then reports the limit.
#include <string>

#include "ftp/RemoteSession.h"
#include "platform/ServerGreeting.h"

namespace ftp {
class AbortSignal;
}

namespace remote {

// The port when none is given: the server book's default.
constexpr int kDefaultPort = 21;

// How long a server that says nothing is waited for before the port
// decides. FTP and SSH servers both speak at once; a loaded server across
// a slow link takes a round trip or two more, well under this. A silent
// FTP server costs this much before its late greeting is read.
constexpr int kSilenceWaitMs = 2500;

// The rules by port; tests choose ports of their own. They decide only the
// detection: the FTP engine speaks TLS from the first byte on port 990
// whatever these say.
struct DetectionRules {
    int sshPort = 22;           // silence here means SFTP
    int implicitTlsPort = 990;  // never peeked at: FTP
    int silenceWaitMs = kSilenceWaitMs;
};

struct DetectedServer {
    Protocol protocol = Protocol::Ftp;
    // The connected socket, its first bytes still unread; -1 when no
    // connection was made (refused, unreachable, time-out, abort). The
    // caller owns it.
    int fd = -1;
    // The server's first bytes were looked at (false on the implicit-TLS
    // port).
    bool peeked = false;
};

// Connects to address:port (port 0: kDefaultPort) within connectMs and tells what the
// server speaks. Raising abort ends the connect or the wait at once (and
// no connection is handed over).
DetectedServer detectProtocol(const std::string& address, int port, int connectMs, const ftp::AbortSignal& abort,
                              const DetectionRules& rules = {});

// The protocol a peeked greeting means on this port.
Protocol protocolOf(platform::ServerGreeting greeting, int port, const DetectionRules& rules = {});

} // namespace remote
