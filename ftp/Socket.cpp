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

Socket::Socket(Socket&& other) noexcept : abort_(other.abort_), fd_(other.fd_) {
    other.fd_ = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        abort_ = other.abort_;
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

WaitResult Socket::waitFor(short events, int timeoutMs) const {
    if (fd_ < 0)
        return WaitResult::Failed;
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
        // Errors and hang-ups count as ready: the next call reports them.
        return WaitResult::Ready;
    }
}

WaitResult waitEither(const Socket& first, short firstEvents, const Socket& second, int timeoutMs,
                      const AbortSignal& abort, int& readyIndex) {
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
        readyIndex = fds[0].revents ? 0 : 1;
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
        ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitWritable(stallMs) != WaitResult::Ready)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

long Socket::receiveSome(char* buffer, std::size_t size, int timeoutMs) {
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

void Socket::shutdownSending() {
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_WR);
}

bool Socket::limitUnsentBytes(int bytes) {
#ifdef TCP_NOTSENT_LOWAT
    return fd_ >= 0 && ::setsockopt(fd_, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &bytes, sizeof bytes) == 0;
#else
    (void)bytes;
    return false;
#endif
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
