#pragma once
// A session to a server of either protocol, from its address and port
// alone: the protocol is detected on one TCP connection (see
// ProtocolDetection.h), which the engine of that protocol then takes over.
//
//   remote::SessionSetup setup;
//   setup.timeouts = ...;
//   setup.common = [](RemoteSession& s) { s.setResumeFolder(folder); };
//   setup.ftp = [](FtpClient& c) { c.setTlsRequired(...); c.setCertificateCheck(...); };
//   setup.sftp = [](SftpClient& c) { c.setKnownHostsFile(...); c.setHostKeyCheck(...); };
//   remote::OpenedSession opened = remote::openSession({address, port, user, password}, setup);
//   if (opened.connected) ... opened.session->listEntries("") ...
#include <functional>
#include <memory>
#include <string>

#include "ftp/FtpClient.h"
#include "ftp/RemoteSession.h"
#include "remote/ProtocolDetection.h"
#include "sftp/SftpClient.h"

namespace remote {

// A new, unconnected session of the protocol.
std::unique_ptr<RemoteSession> makeSession(Protocol protocol);

struct ServerLogin {
    std::string address;
    int port = 0;  // 0: kDefaultPort
    std::string user;
    std::string password;
    bool passive = false;  // FTP's data connections
};

// What the caller sets on the engine before it connects. common runs
// first, on either kind (the resume folder; a caller that may have to
// abort the connect from another thread keeps the session it is given),
// then the one of the protocol found: TLS options and checks for FTP,
// known-hosts files and the host-key check for SFTP.
struct SessionSetup {
    FtpTimeouts timeouts;  // connectMs also bounds the detecting connect
    std::function<void(RemoteSession&)> common;
    std::function<void(FtpClient&)> ftp;
    std::function<void(SftpClient&)> sftp;
};

struct OpenedSession {
    // The engine the server called for, connected or not (its security()
    // and lastFailure() on this thread tell how the connect went); null
    // when no TCP connection could be made.
    std::unique_ptr<RemoteSession> session;
    bool connected = false;
    // Why not connected: the session's lastFailure(), Transient when the
    // server could not be reached, Aborted when abort was raised.
    TransferFailure failure = TransferFailure::None;
};

// Detects the protocol, sets the engine up and connects it on the same
// connection. abort, when given, ends the detection at once; the engine's
// own connect is ended by aborting the session common was given.
OpenedSession openSession(const ServerLogin& login, const SessionSetup& setup, const DetectionRules& rules = {},
                          const ftp::AbortSignal* abort = nullptr);

} // namespace remote
