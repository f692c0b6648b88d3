#pragma once
// What the program does with a server certificate that did not verify:
// one remembered for that server goes through; any other is shown to the
// user, whose Yes remembers it. And with a server that spoke TLS before
// (remembered, or its certificate verified) and now refuses it: the user
// is warned before the login goes out in clear.
#include "ftp/RemoteSession.h"
#include "ftp/ServerCertificate.h"

#include <string>

// The file of remembered certificates, beside the settings file.
std::string knownCertificatesPath();

// The engine's certificate check (any thread).
bool trustServerCertificate(const std::string& host, int port, const ftp::ServerCertificate& certificate);
// The engine's check before a login in clear (any thread): a question for
// a server known to speak TLS, whose Yes counts for this connect only.
bool allowClearLogin(const std::string& host, int port);
// The engine's note of a server whose certificate verified.
void rememberVerifiedServer(const std::string& host, int port);

// The message-log line saying what protects the session's connection just
// made: TLS's version, or SSH's cipher and key exchange.
std::string connectionSecurityLine(const RemoteSession& session);
// The message-log line saying why the session's connect failed for the
// sake of its protection (TLS, the certificate, the host key); empty when
// it did not.
std::string securityFailureLine(const RemoteSession& session);
