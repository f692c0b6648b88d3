#pragma once
// The TLS settings shared by every session of one client: TLS 1.2 or newer,
// the certificates servers are verified against, and the recording of
// every problem the verification finds (the handshake itself never fails
// on them: the caller decides what to do with a server that did not
// verify).
#include <string>

struct ssl_ctx_st;

namespace ftp {

class TlsContext {
public:
    // trustFile: PEM certificates to trust instead of the system's store
    // (empty: the system's store).
    explicit TlsContext(const std::string& trustFile);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    bool valid() const { return ctx_ != nullptr; }
    ssl_ctx_st* handle() const { return ctx_; }
    const std::string& trustFile() const { return trustFile_; }

private:
    ssl_ctx_st* ctx_ = nullptr;
    std::string trustFile_;
};

// Where a session keeps its CertificateProblem bits while it verifies.
int certificateProblemSlot();

} // namespace ftp
