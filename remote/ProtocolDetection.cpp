#include "remote/ProtocolDetection.h"

#include "ftp/AbortSignal.h"
#include "ftp/Socket.h"

#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace remote {

namespace {

constexpr char kSshLimitNotice[] = "Exceeded MaxStartups";

// What OpenSSH sends before it closes a connection past its MaxStartups
// limit, in place of its version line.
bool saysSshLimit(int fd) {
    char bytes[sizeof kSshLimitNotice - 1] = {};
    const ssize_t n = ::recv(fd, bytes, sizeof bytes, MSG_PEEK | MSG_DONTWAIT);
    return n == static_cast<ssize_t>(sizeof bytes) && std::memcmp(bytes, kSshLimitNotice, sizeof bytes) == 0;
}

} // namespace

Protocol protocolOf(platform::ServerGreeting greeting, int port, const DetectionRules& rules) {
    switch (greeting) {
    case platform::ServerGreeting::Ssh:
        return Protocol::Sftp;
    case platform::ServerGreeting::Ftp:
        return Protocol::Ftp;
    case platform::ServerGreeting::Silent:
        break;
    }
    return port == rules.sshPort ? Protocol::Sftp : Protocol::Ftp;
}

DetectedServer detectProtocol(const std::string& address, int port, int connectMs, const ftp::AbortSignal& abort,
                              const DetectionRules& rules) {
    if (port == 0)
        port = kDefaultPort;
    DetectedServer server;
    ftp::Socket tcp(abort);
    if (!tcp.connectTo(address, port, connectMs))
        return server;
    if (port != rules.implicitTlsPort) {
        const platform::ServerGreeting greeting = platform::peekServerGreeting(tcp.fd(), rules.silenceWaitMs,
                                                                               abort.fd());
        if (abort.raised())
            return server;
        server.peeked = true;
        server.protocol = protocolOf(greeting, port, rules);
        if (greeting == platform::ServerGreeting::Ftp && saysSshLimit(tcp.fd()))
            server.protocol = Protocol::Sftp;
    }
    server.fd = tcp.release();
    return server;
}

} // namespace remote
