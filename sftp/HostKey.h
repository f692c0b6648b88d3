#pragma once
// What the engine tells about an SSH server's host key, for the user to
// judge a key seen for the first time.
#include <functional>
#include <string>

namespace sftp {

struct HostKey {
    std::string keyType;      // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"
    std::string fingerprint;  // "SHA256:" and the base64 digest without padding, as ssh-keygen -l shows it
    // Another key is on record for this server: the server was replaced or
    // someone sits in between. Such a server is never used; the check is
    // told only so that the user can be warned.
    bool changed = false;
};

// Decides whether to trust a server whose key is on record nowhere (and is
// told of a changed key, whose answer does not count). Called on the
// connecting thread while nothing else runs on the client, before any
// password or key is sent.
using HostKeyCheck = std::function<bool(const std::string& host, int port, const HostKey& key)>;

// How the last connect judged the server's key.
enum class HostKeyVerdict {
    None,      // no key seen (no connect yet, or it failed before)
    Known,     // on record in a known-hosts file
    Accepted,  // new, and the check accepted it (it is kept from now on)
    Rejected,  // new, and the check (or its absence) turned it down
    Changed,   // differs from the key on record
};

} // namespace sftp
