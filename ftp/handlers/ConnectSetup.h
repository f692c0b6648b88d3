#pragma once
// How the window sets up each new session before it connects: the
// time-outs, and what belongs to the protocol the server speaks: TLS and
// the certificate questions for FTP, the known-hosts files and the host-key
// question for SFTP.
#include "remote/OpenSession.h"

#include <functional>

class PendingConnect;

// The set-up of a connect; the session it makes is tracked by pending.
remote::SessionSetup windowSessionSetup(PendingConnect& pending);

// Set-up of the caller's own, run after the window's on every new session
// of that kind (tests and benchmarks: their certificate authority, their
// key folder, their known-hosts files). Empty functions clear it.
void setExtraSessionSetup(std::function<void(FtpClient&)> ftp, std::function<void(SftpClient&)> sftp);
