#pragma once
// The certificates the user chose to trust although they did not verify:
// a plain text file, readable by its owner only, one line per server,
// "host:port FINGERPRINT" ("[v6-address]:port" for an IPv6 address; the
// fingerprint as ServerCertificate gives it). A server whose certificate
// verified has a line of "host:port" alone: it is known to speak TLS, and
// no certificate is trusted for it beyond verification. Readers that know
// only the first kind skip such lines.
#include <string>

namespace ftp {

class KnownCertificates {
public:
    explicit KnownCertificates(std::string path) : path_(std::move(path)) {}

    // The fingerprint remembered for the server; empty when none.
    std::string find(const std::string& host, int port) const;
    // Remembers the fingerprint for the server, replacing an earlier one.
    bool remember(const std::string& host, int port, const std::string& fingerprint) const;
    // The server has a line: it spoke TLS to us before.
    bool knows(const std::string& host, int port) const;
    // Notes that the server spoke TLS with a certificate that verified; a
    // line it has already stays as it is (the file is then not written).
    bool rememberVerified(const std::string& host, int port) const;

private:
    bool findLine(const std::string& host, int port, std::string& fingerprint) const;
    bool write(const std::string& host, int port, const std::string& fingerprint, bool keepExisting) const;

    std::string path_;
};

// "host:port" as the file writes it: the host in lower case.
std::string serverKey(const std::string& host, int port);

} // namespace ftp
