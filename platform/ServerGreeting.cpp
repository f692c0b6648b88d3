#include "platform/ServerGreeting.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kSshPrefix[] = "SSH-";
constexpr std::size_t kSshPrefixLength = sizeof kSshPrefix - 1;
// While the server's first bytes could still become "SSH-", the peek is
// repeated this often: a socket with unread bytes polls readable at once,
// so waiting for more of them has no event to wait on.
constexpr int kMorePeekIntervalMs = 10;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until fd is readable; false on time-out, abort or error.
bool waitReadable(int fd, int abortFd, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {abortFd, POLLIN, 0}};
        const int n = ::poll(fds, abortFd >= 0 ? 2 : 1, remainingMs(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || (abortFd >= 0 && fds[1].revents))
            return false;
        return true;
    }
}

} // namespace

ServerGreeting peekServerGreeting(int fd, int waitMs, int abortFd) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    char bytes[kSshPrefixLength] = {};
    for (;;) {
        if (!waitReadable(fd, abortFd, remainingMs(deadline)))
            return ServerGreeting::Silent;
        const ssize_t n = ::recv(fd, bytes, sizeof bytes, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return ServerGreeting::Silent;
        const auto seen = static_cast<std::size_t>(n);
        if (std::memcmp(bytes, kSshPrefix, seen) != 0)
            return ServerGreeting::Ftp;
        if (seen == kSshPrefixLength)
            return ServerGreeting::Ssh;
        // "SS" so far: the rest is on its way.
        if (remainingMs(deadline) == 0)
            return ServerGreeting::Ftp;
        pollfd abortOnly = {abortFd, POLLIN, 0};
        ::poll(&abortOnly, abortFd >= 0 ? 1 : 0, std::min(kMorePeekIntervalMs, remainingMs(deadline)));
        if (abortFd >= 0 && abortOnly.revents)
            return ServerGreeting::Silent;
    }
}

} // namespace platform
