// A TLS session on the engine's socket against a small OpenSSL server on a
// thread: records that one read of the socket brought in are data for the
// reader, and the stream's end (close_notify or a cut) is told apart behind
// them.
#include "ftp/AbortSignal.h"
#include "ftp/Socket.h"
#include "ftp/SocketBio.h"
#include "ftp/TlsContext.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/WaitFor.h"
#include "tests/support/LoopbackListener.h"

#include <gtest/gtest.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr int kWaitMs = 10000;

// Listens on 127.0.0.1; serve() takes one connection on a thread, does the
// server's handshake and then runs the script on the session.
class TinyTlsServer {
public:
    explicit TinyTlsServer(const testsupport::CertificateFiles& files) {
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(context_, files.certificate.c_str());
        SSL_CTX_use_PrivateKey_file(context_, files.key.c_str(), SSL_FILETYPE_PEM);
        listener_ = testsupport::listenOnLoopback(1, port_, SOCK_CLOEXEC);
    }
    ~TinyTlsServer() {
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
        SSL_CTX_free(context_);
    }
    int port() const { return port_; }

    void serve(std::function<void(SSL*, int fd)> script) {
        thread_ = std::thread([this, script] {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            timeval limit{kWaitMs / 1000, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            SSL* ssl = SSL_new(context_);
            BIO* channel = ftp::newSocketBio(fd);
            SSL_set_bio(ssl, channel, channel);
            if (SSL_accept(ssl) == 1)
                script(ssl, fd);
            SSL_free(ssl);
            ERR_clear_error();
            ::close(fd);
        });
    }

private:
    SSL_CTX* context_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// Bytes that arrived on the socket and were not read yet.
int unreadBytes(const ftp::Socket& socket) {
    int count = 0;
    return ::ioctl(socket.fd(), FIONREAD, &count) == 0 ? count : -1;
}

// Reads exactly size bytes (or less when the stream ends).
std::string receiveExactly(ftp::Socket& socket, std::size_t size) {
    std::string text;
    char buffer[256];
    while (text.size() < size) {
        long n = socket.receiveSome(buffer, std::min(sizeof buffer, size - text.size()), kWaitMs);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

class TlsSocketTest : public ::testing::Test {
protected:
    void SetUp() override { files_ = certificates_.selfSigned("server"); }

    bool connect(TinyTlsServer& server, ftp::Socket& socket) {
        return socket.connectTo("127.0.0.1", server.port(), kWaitMs) &&
               socket.beginTls(context(), "127.0.0.1", ftp::TlsSession()) && socket.finishTls(kWaitMs);
    }
    const ftp::TlsContext& context() {
        if (!context_)
            context_ = std::make_unique<ftp::TlsContext>(files_.certificate);
        return *context_;
    }

    testsupport::TestCertificates certificates_;
    testsupport::CertificateFiles files_;
    std::unique_ptr<ftp::TlsContext> context_;
    ftp::AbortSignal abort_;
};

TEST_F(TlsSocketTest, RecordsAlreadyReadFromTheSocketAreReadableWithoutMoreArriving) {
    TinyTlsServer server(files_);
    std::atomic<bool> written{false};
    server.serve([&](SSL* ssl, int) {
        // Two records back to back, then nothing until the client answers.
        SSL_write(ssl, "first record", 12);
        SSL_write(ssl, "second record", 13);
        written = true;
        char reply = 0;
        if (SSL_read(ssl, &reply, 1) == 1)
            SSL_shutdown(ssl);
    });
    ftp::Socket socket(abort_);
    ASSERT_TRUE(connect(server, socket));
    // Both records (and the session tickets before them) wait in the
    // socket: over loopback they are there once the server wrote them.
    ASSERT_TRUE(testsupport::waitFor([&] { return written.load(); }, kWaitMs));
    ASSERT_GT(unreadBytes(socket), 2 * 12);

    // One read of the socket takes both records in; the reader gets the
    // first, and the second must count as readable though the socket is
    // empty now and stays so.
    EXPECT_EQ(receiveExactly(socket, 12), "first record");
    EXPECT_EQ(unreadBytes(socket), 0);
    EXPECT_EQ(socket.waitReadable(kWaitMs), ftp::WaitResult::Ready);
    EXPECT_EQ(receiveExactly(socket, 13), "second record");

    // Then the stream ends with close_notify once the server has its answer.
    ASSERT_TRUE(socket.sendAll("k", 1, kWaitMs));
    char buffer[16];
    EXPECT_EQ(socket.receiveSome(buffer, sizeof buffer, kWaitMs), 0);
    EXPECT_TRUE(socket.tls()->closeNotifyReceived());
}

TEST_F(TlsSocketTest, StreamCutBehindBufferedRecordsGivesTheDataThenACutEnd) {
    TinyTlsServer server(files_);
    std::atomic<bool> written{false};
    server.serve([&](SSL* ssl, int fd) {
        const std::string data(100000, 'd');  // several records
        SSL_write(ssl, data.data(), static_cast<int>(data.size()));
        ::shutdown(fd, SHUT_WR);  // no close_notify
        written = true;
        char rest = 0;
        while (::recv(fd, &rest, 1, 0) > 0) {
        }
    });
    ftp::Socket socket(abort_);
    ASSERT_TRUE(connect(server, socket));
    ASSERT_TRUE(testsupport::waitFor([&] { return written.load(); }, kWaitMs));

    const std::string received = receiveExactly(socket, 200000);
    EXPECT_EQ(received, std::string(100000, 'd'));
    char buffer[16];
    EXPECT_EQ(socket.receiveSome(buffer, sizeof buffer, kWaitMs), 0);
    EXPECT_FALSE(socket.tls()->closeNotifyReceived());
    socket.close();
}

// Each record is sent on its own, smaller than a local connection's
// segment: left to Nagle's algorithm, records of an upload wait for the
// server's delayed acknowledgements.
TEST_F(TlsSocketTest, RecordsAreSentWithoutWaitingForAcknowledgements) {
    TinyTlsServer server(files_);
    server.serve([](SSL* ssl, int) {
        char byte = 0;
        if (SSL_read(ssl, &byte, 1) == 1)
            SSL_shutdown(ssl);
    });
    ftp::Socket socket(abort_);
    ASSERT_TRUE(connect(server, socket));
    int noDelay = 0;
    socklen_t length = sizeof noDelay;
    ASSERT_EQ(::getsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
    EXPECT_NE(noDelay, 0);
    EXPECT_TRUE(socket.sendAll("k", 1, kWaitMs));
}

} // namespace
