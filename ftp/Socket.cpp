#include "ftp/Socket.h"

#include "ftp/AbortSignal.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int openNonBlocking(int family) {
    return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

} // namespace

int SocketAddress::port() const {
    if (family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(storage).sin_port);
    if (family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(storage).sin6_port);
    return 0;
}

void SocketAddress::setPort(int port) {
    if (family() == AF_INET)
        reinterpret_cast<sockaddr_in&>(storage).sin_port = htons(static_cast<uint16_t>(port));
    else if (family() == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(storage).sin6_port = htons(static_cast<uint16_t>(port));
}

std::string SocketAddress::host() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (family() == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(storage).sin_addr, text, sizeof text);
    else if (family() == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr, text, sizeof text);
    return text;
}

namespace {

// The IPv4 address of an IPv4 or IPv4-mapped IPv6 address.
bool ipv4Of(const SocketAddress& address, in_addr& out) {
    if (address.family() == AF_INET) {
        out = reinterpret_cast<const sockaddr_in&>(address.storage).sin_addr;
        return true;
    }
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(address.storage).sin6_addr;
    if (address.family() == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&v6)) {
        std::memcpy(&out, v6.s6_addr + 12, sizeof out);
        return true;
    }
    return false;
}

} // namespace

bool SocketAddress::sameHost(const SocketAddress& other) const {
    in_addr mine{}, theirs{};
    const bool v4 = ipv4Of(*this, mine);
    if (v4 != ipv4Of(other, theirs))
        return false;
    if (v4)
        return mine.s_addr == theirs.s_addr;
    if (family() != AF_INET6 || other.family() != AF_INET6)
        return false;
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6&>(other.storage).sin6_addr, sizeof(in6_addr)) == 0;
}

Socket::Socket(const AbortSignal& abort) : abort_(&abort) {}

Socket::~Socket() {
    close();
}

Socket::Socket(Socket&& other) noexcept : abort_(other.abort_), fd_(other.fd_), tls_(std::move(other.tls_)) {
    other.fd_ = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        abort_ = other.abort_;
        fd_ = other.fd_;
        tls_ = std::move(other.tls_);
        other.fd_ = -1;
    }
    return *this;
}

void Socket::close() {
    if (tls_) {
        // close_notify if the socket takes it now; the peer learns the
        // stream ended on purpose.
        if (tls_->established() && !abort_->raised())
            tls_->shutdown();
        tls_.reset();
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int Socket::release() {
    tls_.reset();
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool Socket::adopt(int fd) {
    close();
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool Socket::pollShowsInput(short revents) const {
    if (!tls_ || !(revents & POLLIN) || (revents & (POLLERR | POLLHUP | POLLNVAL)))
        return true;
    return tls_->takeArrivedInput();
}

WaitResult Socket::waitFor(short events, int timeoutMs, bool forData) const {
    if (fd_ < 0)
        return WaitResult::Failed;
    if ((events & POLLIN) && forData && readableNow())
        return WaitResult::Ready;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{fd_, events, 0}, {abort_->fd(), POLLIN, 0}};
        if (abort_->raised())
            return WaitResult::Aborted;
        int n = ::poll(fds, 2, remainingMs(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return WaitResult::Failed;
        if (fds[1].revents || abort_->raised())
            return WaitResult::Aborted;
        if (n == 0)
            return WaitResult::TimedOut;
        if ((events & POLLIN) && forData && !pollShowsInput(fds[0].revents))
            continue;
        // Errors and hang-ups count as ready: the next call reports them.
        return WaitResult::Ready;
    }
}

WaitResult waitEither(const Socket& first, short firstEvents, const Socket& second, int timeoutMs,
                      const AbortSignal& abort, int& readyIndex) {
    if (((firstEvents & POLLIN) && first.readableNow()) || second.readableNow()) {
        readyIndex = (firstEvents & POLLIN) && first.readableNow() ? 0 : 1;
        return WaitResult::Ready;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[3] = {{first.fd(), firstEvents, 0}, {second.fd(), POLLIN, 0}, {abort.fd(), POLLIN, 0}};
        if (abort.raised())
            return WaitResult::Aborted;
        int n = ::poll(fds, 3, remainingMs(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return WaitResult::Failed;
        if (fds[2].revents || abort.raised())
            return WaitResult::Aborted;
        if (n == 0)
            return WaitResult::TimedOut;
        bool firstReady = fds[0].revents && first.pollShowsInput(fds[0].revents);
        bool secondReady = fds[1].revents && second.pollShowsInput(fds[1].revents);
        if (!firstReady && !secondReady)
            continue;
        readyIndex = firstReady ? 0 : 1;
        return WaitResult::Ready;
    }
}

WaitResult Socket::waitReadable(int timeoutMs) const { return waitFor(POLLIN, timeoutMs); }
WaitResult Socket::waitWritable(int timeoutMs) const { return waitFor(POLLOUT, timeoutMs); }

bool Socket::connectTo(const std::string& host, int port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found)
        return false;
    bool connected = false;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (addrinfo* a = found; a && !connected && !abort_->raised(); a = a->ai_next) {
        SocketAddress address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        connected = connectTo(address, remainingMs(deadline));
    }
    ::freeaddrinfo(found);
    return connected;
}

bool Socket::connectTo(const SocketAddress& address, int timeoutMs) {
    close();
    fd_ = openNonBlocking(address.family());
    if (fd_ < 0)
        return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0)
        return true;
    if (errno != EINPROGRESS || waitWritable(timeoutMs) != WaitResult::Ready) {
        close();
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        close();
        return false;
    }
    return true;
}

bool Socket::listenOn(const SocketAddress& address) {
    close();
    fd_ = openNonBlocking(address.family());
    if (fd_ < 0)
        return false;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0 ||
        ::listen(fd_, 1) != 0) {
        close();
        return false;
    }
    return true;
}

WaitResult Socket::acceptWithin(int timeoutMs, Socket& accepted, const SocketAddress* onlyFrom) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        WaitResult waited = waitReadable(remainingMs(deadline));
        if (waited != WaitResult::Ready)
            return waited;
        SocketAddress peer;
        peer.length = sizeof peer.storage;
        int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer.storage), &peer.length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0 && onlyFrom && !peer.sameHost(*onlyFrom)) {
            // Someone else got to our port first: not the server's data.
            ::close(fd);
            if (remainingMs(deadline) == 0)
                return WaitResult::TimedOut;
            continue;
        }
        if (fd >= 0) {
            accepted.close();
            accepted.fd_ = fd;
            return WaitResult::Ready;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
            return WaitResult::Failed;
        if (remainingMs(deadline) == 0)
            return WaitResult::TimedOut;
    }
}

bool Socket::sendAll(const char* data, std::size_t size, int stallMs) {
    while (size > 0) {
        long n = sendSome(data, size, stallMs);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 || waitWritable(stallMs) != WaitResult::Ready)
            return false;
    }
    return true;
}

long Socket::sendSome(const char* data, std::size_t size, int waitMs) {
    if (tls_)
        return sendTls(data, size, waitMs);
    for (;;) {
        ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n > 0)
            return static_cast<long>(n);
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    }
}

long Socket::sendTls(const char* data, std::size_t size, int waitMs) {
    // Record after record until the socket is full (the unsent-bytes limit
    // counts here too), like one send() would.
    std::size_t total = 0;
    while (total < size) {
        TlsStatus status;
        long n = tls_->write(data + total, size - total, status);
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            continue;
        }
        if (status == TlsStatus::WantWrite || total > 0)
            break;
        if (status != TlsStatus::WantRead || waitFor(POLLIN, waitMs, false) != WaitResult::Ready)
            return -1;
    }
    return static_cast<long>(total);
}

long Socket::receiveTls(char* buffer, std::size_t size, int timeoutMs) {
    for (;;) {
        TlsStatus status;
        long n = tls_->read(buffer, size, status);
        if (n > 0) {
            // Records already read from the socket come along: one call
            // per buffer, not per record.
            std::size_t total = static_cast<std::size_t>(n);
            while (total < size && tls_->readableNow()) {
                long more = tls_->read(buffer + total, size - total, status);
                if (more <= 0)
                    break;
                total += static_cast<std::size_t>(more);
            }
            return static_cast<long>(total);
        }
        if (status == TlsStatus::Closed || status == TlsStatus::Cut)
            return 0;
        WaitResult waited = status == TlsStatus::WantRead    ? waitFor(POLLIN, timeoutMs)
                            : status == TlsStatus::WantWrite ? waitWritable(timeoutMs)
                                                             : WaitResult::Failed;
        if (waited != WaitResult::Ready)
            return -1;
    }
}

long Socket::receiveSome(char* buffer, std::size_t size, int timeoutMs) {
    if (tls_)
        return receiveTls(buffer, size, timeoutMs);
    for (;;) {
        ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        if (waitReadable(timeoutMs) != WaitResult::Ready)
            return -1;
    }
}

bool Socket::shutdownSending(int waitMs) {
    if (fd_ < 0)
        return false;
    TlsStatus status = tls_ ? tls_->shutdown() : TlsStatus::Done;
    while (status == TlsStatus::WantWrite && waitWritable(waitMs) == WaitResult::Ready)
        status = tls_->shutdown();
    ::shutdown(fd_, SHUT_WR);
    return status == TlsStatus::Done;
}

bool Socket::limitUnsentBytes(int bytes) {
#ifdef TCP_NOTSENT_LOWAT
    return fd_ >= 0 && ::setsockopt(fd_, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &bytes, sizeof bytes) == 0;
#else
    (void)bytes;
    return false;
#endif
}

bool Socket::beginTls(const TlsContext& context, const std::string& hostName, const TlsSession& resume) {
    if (fd_ < 0)
        return false;
    tls_ = std::make_unique<TlsStream>(context, fd_, hostName, resume);
    if (!tls_->valid()) {
        tls_.reset();
        return false;
    }
    sendRecordsAtOnce();
    return true;
}

// The session sends each record (about 16 KiB) with a send of its own,
// less than a segment holds on a local connection. With Nagle's algorithm
// such a send may wait for the peer to acknowledge the one before, and a
// peer delays acknowledgements by up to 40 ms: an upload stalled that long
// again and again whenever the server kept up with us. A record is
// complete once written, so it leaves at once.
void Socket::sendRecordsAtOnce() {
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TlsStatus Socket::advanceTls() {
    return tls_ ? tls_->handshake() : TlsStatus::Failed;
}

bool Socket::finishTls(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        TlsStatus status = advanceTls();
        if (status == TlsStatus::Done)
            return true;
        WaitResult waited = status == TlsStatus::WantRead    ? waitFor(POLLIN, remainingMs(deadline), false)
                            : status == TlsStatus::WantWrite ? waitWritable(remainingMs(deadline))
                                                             : WaitResult::Failed;
        if (waited != WaitResult::Ready)
            return false;
    }
}

bool Socket::localAddress(SocketAddress& out) const {
    out.length = sizeof out.storage;
    return ::getsockname(fd_, reinterpret_cast<sockaddr*>(&out.storage), &out.length) == 0;
}

bool Socket::peerAddress(SocketAddress& out) const {
    out.length = sizeof out.storage;
    return ::getpeername(fd_, reinterpret_cast<sockaddr*>(&out.storage), &out.length) == 0;
}

} // namespace ftp
