#include "ftp/ControlConnection.h"

#include "ftp/Deadline.h"

#include <chrono>

namespace ftp {

namespace {
constexpr std::size_t kReceiveChunk = 4096;
// The Telnet "interpret as command" byte. The control connection is a
// Telnet connection: servers that read it as one take IAC and the byte
// after it as a Telnet command and drop both, so a name holding 0xFF would
// name another file. Doubled, it stands for the byte itself.
constexpr char kIac = '\xFF';

std::string withIacDoubled(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == kIac)
            out += kIac;
    }
    return out;
}
} // namespace

bool isSafeCommandText(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool ControlConnection::open(const std::string& host, int port, int connectMs) {
    close();
    lost_ = false;
    return socket_.connectTo(host, port, connectMs);
}

bool ControlConnection::secure(const TlsContext& context, const std::string& hostName, int timeoutMs,
                               const TlsSession& resume) {
    if (!isOpen() || !reader_.idle() || !socket_.beginTls(context, hostName, resume) ||
        !socket_.finishTls(timeoutMs)) {
        lost_ = true;
        return false;
    }
    return true;
}

bool ControlConnection::adopt(int fd) {
    close();
    lost_ = false;
    return socket_.adopt(fd);
}

void ControlConnection::close() {
    socket_.close();
    reader_.reset();
    lost_ = false;
}

bool ControlConnection::send(const std::string& command) {
    if (!isSafeCommandText(command) || !isOpen())
        return false;
    announcedSize_ = -1;
    std::string line = withIacDoubled(command) + "\r\n";
    if (!socket_.sendAll(line.data(), line.size(), sendMs_)) {
        lost_ = true;
        return false;
    }
    return true;
}

bool ControlConnection::readReply(FtpReply& reply, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reader_.next(reply)) {
        if (!isOpen())
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        char buffer[kReceiveChunk];
        long n = left > 0 ? socket_.receiveSome(buffer, sizeof buffer, static_cast<int>(left)) : -1;
        if (n <= 0 || !reader_.feed(buffer, static_cast<std::size_t>(n))) {
            lost_ = true;
            return false;
        }
    }
    if (reply.code == 421)
        lost_ = true;  // the server is closing the connection
    if (reply.isPreliminary()) {
        int64_t size = parseAnnouncedSize(reply.text());
        if (size >= 0)
            announcedSize_ = size;
    } else {
        lastReply_ = reply;
    }
    return true;
}

bool ControlConnection::quietWhileIdle() {
    while (isOpen()) {
        if (reader_.hasReply()) {
            FtpReply unasked;
            reader_.next(unasked);
            lastReply_ = unasked;
            lost_ = true;
            return false;
        }
        const WaitResult waited = socket_.waitReadable(0);
        if (waited == WaitResult::TimedOut || waited == WaitResult::Aborted)
            return true;  // an abort is for the caller to carry out
        char buffer[kReceiveChunk];
        long n = waited == WaitResult::Ready ? socket_.receiveSome(buffer, sizeof buffer, 0) : -1;
        if (n <= 0 || !reader_.feed(buffer, static_cast<std::size_t>(n))) {
            lost_ = true;
            return false;
        }
    }
    return false;
}

bool ControlConnection::readFinalReply(FtpReply& reply, int timeoutMs) {
    const Deadline deadline = Deadline::in(timeoutMs);
    do {
        if (!readReply(reply, deadline.cap(timeoutMs)))
            return false;
    } while (reply.isPreliminary());
    return true;
}

bool ControlConnection::command(const std::string& command, FtpReply& reply, int timeoutMs) {
    return send(command) && readFinalReply(reply, timeoutMs);
}

} // namespace ftp
