#pragma once
// What the engine tells about a server's TLS certificate, for the user to
// judge one that did not verify.
#include <functional>
#include <string>

namespace ftp {

// Why a certificate did not verify (bits; 0: it verified).
enum CertificateProblem : unsigned {
    kCertificateSelfSigned = 1,
    kCertificateUntrustedIssuer = 2,
    kCertificateExpired = 4,
    kCertificateNotYetValid = 8,
    kCertificateWrongHost = 16,
    kCertificateOtherProblem = 32,
};

struct ServerCertificate {
    // SHA-256 of the certificate: upper-case hex pairs joined by ':'.
    std::string fingerprint;
    std::string subject;     // one line, "CN=...,O=..."
    std::string issuer;
    std::string validFrom;   // "YYYY-MM-DD HH:MM:SS" UTC
    std::string validUntil;
    unsigned problems = 0;   // CertificateProblem bits

    bool verified() const { return problems == 0; }
};

// Decides whether to go on with a server whose certificate did not verify.
// Called on the connecting thread while nothing else runs on the client.
using CertificateCheck =
    std::function<bool(const std::string& host, int port, const ServerCertificate& certificate)>;
// Decides whether to log in, in clear, to a server that refused AUTH TLS.
// Called like CertificateCheck.
using ClearLoginCheck = std::function<bool(const std::string& host, int port)>;
// Told that the server's certificate verified.
using VerifiedServerNote = std::function<void(const std::string& host, int port)>;

} // namespace ftp
