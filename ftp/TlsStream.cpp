#include "ftp/TlsStream.h"

#include "ftp/SocketBio.h"
#include "ftp/TlsContext.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <climits>
#include <ctime>

namespace ftp {

namespace {

// What one read of the socket may bring in: many records, handed to the
// session one at a time.
constexpr int kReadBufferBytes = 256 * 1024;

bool isAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The socket's end of stream came before the peer's close_notify.
bool endedWithoutCloseNotify(int error) {
    return error == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

int clampedSize(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

std::string fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0)
            text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

std::string nameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    // RFC 2253 order and escaping, but UTF-8 characters left as they are.
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    std::string text(data, length > 0 ? static_cast<std::size_t>(length) : 0);
    BIO_free(bio);
    return text;
}

std::string timeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

} // namespace

TlsStream::TlsStream(const TlsContext& context, int fd, const std::string& hostName, const TlsSession& resume) {
    if (!context.valid())
        return;
    SSL* ssl = SSL_new(context.handle());
    if (!ssl)
        return;
    BIO* reader = newBufferedSocketReader(fd, kReadBufferBytes);
    BIO* writer = reader ? newSocketBio(fd) : nullptr;
    if (!writer) {
        BIO_free_all(reader);
        SSL_free(ssl);
        return;
    }
    SSL_set_bio(ssl, reader, writer);
    bool ok = SSL_set_ex_data(ssl, certificateProblemSlot(), &problems_) == 1;
    if (ok && isAddress(hostName))
        ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), hostName.c_str()) == 1;
    else if (ok)
        ok = SSL_set_tlsext_host_name(ssl, hostName.c_str()) == 1 && SSL_set1_host(ssl, hostName.c_str()) == 1;
    if (ok && resume)
        ok = SSL_set_session(ssl, resume.get()) == 1;
    if (!ok) {
        SSL_free(ssl);
        return;
    }
    ssl_ = ssl;
}

TlsStream::~TlsStream() {
    SSL_free(ssl_);
}

TlsStatus TlsStream::statusOf(int result) {
    int error = SSL_get_error(ssl_, result);
    const bool cut = endedWithoutCloseNotify(error);
    ERR_clear_error();
    switch (error) {
    case SSL_ERROR_WANT_READ:
        return TlsStatus::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TlsStatus::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        return endWith(TlsStatus::Closed);
    default:
        return endWith(cut ? TlsStatus::Cut : TlsStatus::Failed);
    }
}

TlsStatus TlsStream::endWith(TlsStatus end) {
    if (!ended_) {
        ended_ = true;
        end_ = end;
    }
    return end_;
}

TlsStatus TlsStream::handshake() {
    if (!ssl_)
        return TlsStatus::Failed;
    if (established_)
        return TlsStatus::Done;
    ERR_clear_error();
    int result = SSL_connect(ssl_);
    if (result == 1) {
        established_ = true;
        return TlsStatus::Done;
    }
    TlsStatus status = statusOf(result);
    return status == TlsStatus::WantRead || status == TlsStatus::WantWrite ? status : TlsStatus::Failed;
}

long TlsStream::read(char* buffer, std::size_t size, TlsStatus& status) {
    // After an error the session must not be used again, and its error
    // queue no longer tells how the stream ended.
    if (ended_) {
        status = end_;
        return -1;
    }
    ERR_clear_error();
    int n = SSL_read(ssl_, buffer, clampedSize(size));
    if (n > 0) {
        status = TlsStatus::Done;
        return n;
    }
    status = statusOf(n);
    return -1;
}

long TlsStream::write(const char* data, std::size_t size, TlsStatus& status) {
    ERR_clear_error();
    int n = SSL_write(ssl_, data, clampedSize(size));
    if (n > 0) {
        status = TlsStatus::Done;
        return n;
    }
    status = statusOf(n);
    return -1;
}

TlsStatus TlsStream::shutdown() {
    if (!established_)
        return TlsStatus::Done;
    if (ended_ && end_ != TlsStatus::Closed)
        return TlsStatus::Failed;
    ERR_clear_error();
    int result = SSL_shutdown(ssl_);
    return result >= 0 ? TlsStatus::Done : statusOf(result);
}

bool TlsStream::takeArrivedInput() {
    if (!established_)
        return true;
    if (ended_)
        return true;
    char byte;
    ERR_clear_error();
    int n = SSL_peek(ssl_, &byte, 1);
    if (n > 0)
        return true;
    TlsStatus status = statusOf(n);
    return status != TlsStatus::WantRead && status != TlsStatus::WantWrite;
}

bool TlsStream::readableNow() {
    // Bytes already read from the socket (in the read buffer, or in the
    // session) may be a whole record or only the start of one; peeking
    // tells which. Once the stream has ended, every read returns at once.
    if (!established_)
        return false;
    if (ended_)
        return true;
    const bool held = SSL_has_pending(ssl_) || BIO_pending(SSL_get_rbio(ssl_)) > 0;
    return held && takeArrivedInput();
}

std::string TlsStream::version() const {
    return ssl_ ? SSL_get_version(ssl_) : "";
}

TlsSession TlsStream::session() const {
    SSL_SESSION* session = ssl_ ? SSL_get1_session(ssl_) : nullptr;
    return session ? TlsSession(session, SSL_SESSION_free) : TlsSession();
}

TlsSession TlsStream::resumableSession() const {
    SSL_SESSION* session = ssl_ && established_ ? SSL_get0_session(ssl_) : nullptr;
    if (!session || SSL_SESSION_is_resumable(session) != 1)
        return {};
    SSL_SESSION* copy = SSL_SESSION_dup(session);
    return copy ? TlsSession(copy, SSL_SESSION_free) : TlsSession();
}

bool TlsStream::resumed() const {
    return ssl_ && SSL_session_reused(ssl_) == 1;
}

std::string TlsStream::peerFingerprint() const {
    X509* certificate = ssl_ ? SSL_get0_peer_certificate(ssl_) : nullptr;
    return certificate ? fingerprintOf(certificate) : std::string();
}

ServerCertificate TlsStream::certificate() const {
    ServerCertificate result;
    X509* certificate = ssl_ ? SSL_get0_peer_certificate(ssl_) : nullptr;
    if (!certificate) {
        result.problems = kCertificateOtherProblem;
        return result;
    }
    result.fingerprint = fingerprintOf(certificate);
    result.subject = nameText(X509_get_subject_name(certificate));
    result.issuer = nameText(X509_get_issuer_name(certificate));
    result.validFrom = timeText(X509_get0_notBefore(certificate));
    result.validUntil = timeText(X509_get0_notAfter(certificate));
    result.problems = problems_;
    return result;
}

} // namespace ftp
