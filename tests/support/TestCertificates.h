#pragma once
// Certificates made for a test with the openssl command, in a folder of
// their own (removed with the object).
//
//   TestCertificates certs;
//   CertificateFiles server = certs.selfSigned("server");
//   vsftpd.start(root, {server.certificate, server.key});
#include "tests/support/TempFolder.h"

#include <string>

namespace testsupport {

struct CertificateFiles {
    std::string certificate;  // PEM
    std::string key;          // PEM
    std::string combined;     // key and certificate in one PEM file
};

class TestCertificates {
public:
    // A self-signed certificate for the host (a name or an address).
    CertificateFiles selfSigned(const std::string& name, const std::string& host = "127.0.0.1");
    // A certificate authority, to be trusted by the client under test.
    CertificateFiles authority(const std::string& name);
    // A certificate for the host signed by the authority.
    CertificateFiles signedBy(const CertificateFiles& authority, const std::string& name, const std::string& host);
    // A self-signed certificate for the host that expired in 2020.
    CertificateFiles expired(const std::string& name, const std::string& host = "127.0.0.1");

    // The SHA-256 fingerprint as openssl prints it ("AB:CD:...").
    static std::string fingerprint(const std::string& certificateFile);

private:
    CertificateFiles filesFor(const std::string& name) const;
    bool combine(const CertificateFiles& files) const;

    TempFolder folder_;
};

} // namespace testsupport
