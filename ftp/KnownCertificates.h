#pragma once
// The certificates the user chose to trust although they did not verify:
// a plain text file, readable by its owner only, one line per server,
// "host:port FINGERPRINT" ("[v6-address]:port" for an IPv6 address; the
// fingerprint as ServerCertificate gives it).
#include <string>

namespace ftp {

class KnownCertificates {
public:
    explicit KnownCertificates(std::string path) : path_(std::move(path)) {}

    // The fingerprint remembered for the server; empty when none.
    std::string find(const std::string& host, int port) const;
    // Remembers the fingerprint for the server, replacing an earlier one.
    bool remember(const std::string& host, int port, const std::string& fingerprint) const;

private:
    std::string path_;
};

// "host:port" as the file writes it: the host in lower case.
std::string serverKey(const std::string& host, int port);

} // namespace ftp
