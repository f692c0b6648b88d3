#pragma once
// What the program does with a server certificate that did not verify:
// one remembered for that server goes through; any other is shown to the
// user, whose Yes remembers it.
#include "ftp/ServerCertificate.h"

#include <string>

// The file of remembered certificates, beside the settings file.
std::string knownCertificatesPath();

// The engine's certificate check (any thread).
bool trustServerCertificate(const std::string& host, int port, const ftp::ServerCertificate& certificate);

// The message-log line saying what protects the connection just made.
std::string connectionSecurityLine();
// The message-log line saying why a connect failed for TLS's sake; empty
// when it did not.
std::string securityFailureLine();
