#pragma once
// Paths as the server's bytes. SFTP has no current directory on the
// server, so relative paths are resolved here against the client's own.
#include <string>

namespace sftp {

// An absolute path stays as it is; a relative one is put below current
// (itself absolute); an empty one is current.
std::string resolvePath(const std::string& current, const std::string& path);

// The absolute path with "." and ".." resolved by the text, without empty
// components or a trailing "/" ("/" for the root): the way the path was
// entered, not where links lead.
std::string normalizePath(const std::string& absolute);

} // namespace sftp
