#pragma once
// Logs a connected, key-checked session in, the way OpenSSH would for the
// same settings: with a password, by the password method or, when the
// server asks its questions instead (keyboard-interactive), by answering
// them with it; without one, with the keys of the ssh-agent and the
// default key files.
#include <string>

#include <libssh/libssh.h>

namespace sftp {

bool logIn(ssh_session session, const std::string& password);

} // namespace sftp
