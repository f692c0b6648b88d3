#include "remote/OpenSession.h"

#include "ftp/AbortSignal.h"

namespace remote {

std::unique_ptr<RemoteSession> makeSession(Protocol protocol) {
    if (protocol == Protocol::Sftp)
        return std::make_unique<SftpClient>();
    return std::make_unique<FtpClient>();
}

namespace {

// Runs the set-up meant for the session's kind.
void setUp(RemoteSession& session, const SessionSetup& setup) {
    session.setTimeouts(setup.timeouts);
    if (setup.common)
        setup.common(session);
    if (session.protocol() == Protocol::Ftp && setup.ftp)
        setup.ftp(static_cast<FtpClient&>(session));
    if (session.protocol() == Protocol::Sftp && setup.sftp)
        setup.sftp(static_cast<SftpClient&>(session));
}

// Hands the detected connection to the session.
bool connectOn(RemoteSession& session, int fd, const ServerLogin& login, int port) {
    if (session.protocol() == Protocol::Sftp)
        return static_cast<SftpClient&>(session).connectOnSocket(fd, login.address, login.user, login.password, port);
    return static_cast<FtpClient&>(session).connectOnSocket(fd, login.address, login.user, login.password, port,
                                                           login.passive);
}

} // namespace

OpenedSession openSession(const ServerLogin& login, const SessionSetup& setup, const DetectionRules& rules,
                          const ftp::AbortSignal* abort) {
    ftp::AbortSignal ownAbort;
    const ftp::AbortSignal& signal = abort ? *abort : ownAbort;
    const int port = login.port == 0 ? kDefaultPort : login.port;
    OpenedSession opened;
    const DetectedServer server = detectProtocol(login.address, port, setup.timeouts.connectMs, signal, rules);
    if (server.fd < 0) {
        opened.failure = signal.raised() ? TransferFailure::Aborted : TransferFailure::Transient;
        return opened;
    }
    opened.session = makeSession(server.protocol);
    setUp(*opened.session, setup);
    opened.connected = connectOn(*opened.session, server.fd, login, port);
    opened.failure = opened.connected ? TransferFailure::None : opened.session->lastFailure();
    return opened;
}

} // namespace remote
