#pragma once
// What the program does with an SSH server's host key that no known-hosts
// file has: the key's type and fingerprint are shown to the user, whose Yes
// keeps it in the program's own known-hosts file. A key that differs from
// the one on record is a warning, and the server is not used.
#include "sftp/HostKey.h"

#include <string>

// The known-hosts file (OpenSSH's format) of the keys the user accepted,
// beside the settings file.
std::string knownHostsPath();

// The engine's host-key check (any thread).
bool trustServerHostKey(const std::string& host, int port, const sftp::HostKey& key);

// The message-log line saying why the connect failed for the host key's
// sake; empty when it did not.
std::string hostKeyFailureLine(sftp::HostKeyVerdict verdict);
