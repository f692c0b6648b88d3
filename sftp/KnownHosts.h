#pragma once
// Host keys on record, in OpenSSH's known_hosts format ("host key-type
// base64", "[host]:port ..." for other ports than 22, hashed names
// understood), looked up and written through libssh.
#include <string>
#include <vector>

#include <libssh/libssh.h>

#include "sftp/HostKey.h"

namespace sftp {

enum class KnownHostStatus { Known, Unknown, Changed };

// The connected session's server key against the files: Known when any of
// them has this key for the server, else Changed when one has another key
// for it, else Unknown. Files that do not exist count as empty.
KnownHostStatus checkKnownHost(ssh_session session, const std::vector<std::string>& files);

// Appends the session's server key to the file, which is created readable
// and writable by its owner only; a link there is written through.
bool rememberHost(ssh_session session, const std::string& file);

// The type and fingerprint of the connected session's server key.
bool describeServerKey(ssh_session session, HostKey& key);

// ~/.ssh/known_hosts of the user we run as.
std::string userKnownHostsFile();

} // namespace sftp
