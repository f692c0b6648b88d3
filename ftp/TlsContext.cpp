#include "ftp/TlsContext.h"

#include "ftp/ServerCertificate.h"

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace ftp {

namespace {

unsigned problemOf(int error) {
    switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return kCertificateSelfSigned;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return kCertificateUntrustedIssuer;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return kCertificateExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return kCertificateNotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return kCertificateWrongHost;
    default:
        return kCertificateOtherProblem;
    }
}

// Notes every problem and lets the verification go on, so the user sees
// all of them (an expired self-signed certificate is both).
int recordProblem(int ok, X509_STORE_CTX* store) {
    if (ok)
        return 1;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* problems = ssl ? static_cast<unsigned*>(SSL_get_ex_data(ssl, certificateProblemSlot())) : nullptr;
    if (problems)
        *problems |= problemOf(X509_STORE_CTX_get_error(store));
    return 1;
}

} // namespace

int certificateProblemSlot() {
    static const int slot = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return slot;
}

TlsContext::TlsContext(const std::string& trustFile) : trustFile_(trustFile) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return;
    bool ok = SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1;
    ok = ok && (trustFile.empty() ? SSL_CTX_set_default_verify_paths(ctx) == 1
                                  : SSL_CTX_load_verify_locations(ctx, trustFile.c_str(), nullptr) == 1);
    if (!ok) {
        SSL_CTX_free(ctx);
        return;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, recordProblem);
    // A server asking to renegotiate mid-stream is refused: writes then
    // never have to wait for reads. An end of stream without close_notify
    // is reported as such (TlsStatus::Cut), not taken for a proper end:
    // someone between us and the server may have cut the stream.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    certificateProblemSlot();
    ctx_ = ctx;
}

TlsContext::~TlsContext() {
    SSL_CTX_free(ctx_);
}

} // namespace ftp
