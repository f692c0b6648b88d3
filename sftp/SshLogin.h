#pragma once
// Logs a connected, key-checked session in, the way OpenSSH would for the
// same settings: with a password, by the password method or, when the
// server asks its questions instead (keyboard-interactive), by answering
// them with it; without one, with the keys of the ssh-agent and the
// default key files.
#include <string>

#include <libssh/libssh.h>

namespace sftp {

// libssh 0.10 goes on waiting for a login answer after the server said
// goodbye, on a socket it has already closed, where nothing can wake it.
// So the login runs with libssh's waits limited to this (see
// SshConnection::limitLibsshWaits): a call that got no answer in time is
// made again, which waits on, for as long as the connection lives. The
// bound on the whole login stays the caller's (the watchdog).
constexpr long kLoginWaitSeconds = 1;

bool logIn(ssh_session session, const std::string& password);

} // namespace sftp
