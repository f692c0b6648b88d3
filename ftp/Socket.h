#pragma once
// A TCP socket with bounded waits. Every wait also watches the abort signal,
// so another thread can end a blocked call at once. A TLS session can be
// started on it; from then on every read, write and wait goes through the
// session (readable means data for the reader, not merely bytes on the
// socket). Without one, nothing of TLS is touched.
#include <cstddef>
#include <memory>
#include <string>

#include "ftp/TlsStream.h"

#include <sys/socket.h>

namespace ftp {

class AbortSignal;

// An IPv4 or IPv6 socket address.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    bool isIpv6() const { return family() == AF_INET6; }
    int port() const;
    void setPort(int port);
    // Numeric host text ("127.0.0.1", "::1").
    std::string host() const;
    // Same host, ports aside; an IPv4 address and its IPv6-mapped form
    // ("::ffff:a.b.c.d") are the same host.
    bool sameHost(const SocketAddress& other) const;
};

enum class WaitResult { Ready, TimedOut, Aborted, Failed };

class Socket {
public:
    explicit Socket(const AbortSignal& abort);
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close();
    // Hands the descriptor over without closing it (another engine takes a
    // plain connection over); the socket is closed afterwards.
    int release();
    // Takes a connected descriptor over (it is closed with the socket).
    // False, with fd closed, when it cannot be made non-blocking.
    bool adopt(int fd);

    // Resolves host and port and connects to the first address that answers.
    bool connectTo(const std::string& host, int port, int timeoutMs);
    bool connectTo(const SocketAddress& address, int timeoutMs);
    // Listens on the address (port 0: the system chooses).
    bool listenOn(const SocketAddress& address);
    // Waits for one incoming connection. With onlyFrom, connections from
    // any other host are closed at once and the wait goes on.
    WaitResult acceptWithin(int timeoutMs, Socket& accepted, const SocketAddress* onlyFrom = nullptr);

    // Sends everything; fails when no byte could be sent for stallMs.
    bool sendAll(const char* data, std::size_t size, int stallMs);
    // Sends what the socket takes now: the count, 0 when it takes nothing
    // yet (wait until writable), -1 on error. waitMs bounds the rare wait
    // a TLS session needs for the peer's data before it can write.
    long sendSome(const char* data, std::size_t size, int waitMs);
    // Receives what is there (waiting up to timeoutMs for the first byte).
    // Returns the count, 0 at end of stream, -1 on error, time-out or abort.
    // Under TLS an end without close_notify is an end too; the session
    // tells which it was.
    long receiveSome(char* buffer, std::size_t size, int timeoutMs);
    // Sends end of stream to the peer (after close_notify under TLS, which
    // may wait up to waitMs for room in the socket). False when the
    // close_notify could not be sent.
    bool shutdownSending(int waitMs = 0);
    // Reports the socket writable only while fewer than bytes wait unsent
    // in it. A hint: false where the system does not support it.
    bool limitUnsentBytes(int bytes);

    WaitResult waitReadable(int timeoutMs) const;
    WaitResult waitWritable(int timeoutMs) const;

    bool localAddress(SocketAddress& out) const;
    bool peerAddress(SocketAddress& out) const;

    // Starts a TLS client session on the open connection. hostName is what
    // the server's certificate must name; resume, when given, is offered
    // to be resumed.
    bool beginTls(const TlsContext& context, const std::string& hostName, const TlsSession& resume);
    // One step of the handshake, without waiting.
    TlsStatus advanceTls();
    // Completes the handshake within timeoutMs.
    bool finishTls(int timeoutMs);
    bool isTls() const { return tls_ != nullptr; }
    TlsStream* tls() const { return tls_.get(); }

    // The session holds data a read returns without the socket.
    bool readableNow() const { return tls_ && tls_->readableNow(); }
    // After a poll reported these events: whether they are worth a read
    // (under TLS, arrived bytes may carry no data for the reader).
    bool pollShowsInput(short revents) const;

private:
    // forData: under TLS, readable means data for the reader; otherwise
    // any arrived bytes count (what a handshake or a write needs).
    WaitResult waitFor(short events, int timeoutMs, bool forData = true) const;
    long receiveTls(char* buffer, std::size_t size, int timeoutMs);
    long sendTls(const char* data, std::size_t size, int waitMs);
    void sendRecordsAtOnce();

    const AbortSignal* abort_;
    int fd_ = -1;
    std::unique_ptr<TlsStream> tls_;
};

// Waits until the first socket is ready for firstEvents or the second is
// readable. readyIndex tells which (0 or 1) when the result is Ready.
WaitResult waitEither(const Socket& first, short firstEvents, const Socket& second, int timeoutMs,
                      const AbortSignal& abort, int& readyIndex);

} // namespace ftp
