#include "tests/support/TcpRelay.h"

#include "tests/support/FtpServers.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

TcpRelay::~TcpRelay() { stop(); }

bool TcpRelay::start(int targetPort) {
    target_ = targetPort;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0)
            ::close(listener_);
        listener_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void TcpRelay::stop() {
    if (!thread_.joinable())
        return;
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
    listener_ = -1;
}

std::vector<std::string> TcpRelay::clientBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return clientBytes_;
}

void TcpRelay::run() {
    while (!stopping_) {
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            break;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            clientBytes_.emplace_back();
        }
        ++connections_;
        relay(client);
        ::close(client);
        ++finished_;
    }
}

// Copies both ways until both sides have ended; an end of one direction is
// passed on as such, so a half-closed connection stays half-closed.
void TcpRelay::relay(int client) {
    int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(target_.load());
    if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(server);
        return;
    }
    bool clientOpen = true, serverOpen = true;
    char buffer[16384];
    while ((clientOpen || serverOpen) && !stopping_) {
        pollfd fds[2] = {{clientOpen ? client : -1, POLLIN, 0}, {serverOpen ? server : -1, POLLIN, 0}};
        if (::poll(fds, 2, 50) < 0)
            break;
        if (fds[0].revents) {
            ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                clientBytes_.back().append(buffer, static_cast<std::size_t>(n));
            }
            if (n <= 0 || !sendAll(server, buffer, static_cast<std::size_t>(n))) {
                clientOpen = false;
                ::shutdown(server, SHUT_WR);
            }
        }
        if (fds[1].revents) {
            ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0 || !sendAll(client, buffer, static_cast<std::size_t>(n))) {
                serverOpen = false;
                ::shutdown(client, SHUT_WR);
            }
        }
    }
    ::close(server);
}

} // namespace testsupport
