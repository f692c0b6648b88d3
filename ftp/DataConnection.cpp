#include "ftp/DataConnection.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

namespace ftp {

namespace {

constexpr std::size_t kDataChunk = 256 * 1024;
// Unsent bytes an upload keeps queued in its socket. Without a limit the
// socket holds megabytes, and whenever the server's window reopens the
// queued data is sent from the server's side of the exchange on a local
// connection (it processes the acknowledgement): the server, usually the
// slower end, then does our work too. With the limit we are woken to send
// it ourselves. 1 GiB to a local vsftpd: 0.63 s instead of 0.74 s.
constexpr int kUnsentLimit = 64 * 1024;
// How long a data connection may lag behind a completion reply; a server
// that never connects (an empty listing, on some) costs this much.
constexpr int kLateConnectionMs = 1000;
// How long an upload's protected connection may stay open after the
// server's answer before its end is no longer waited for.
constexpr int kLateCloseMs = 1000;

// Passive data connections go to the control connection's peer only, and
// never to a port below this: those belong to other services (SMTP on 25,
// SSH on 22), and a server naming one would have our bytes sent there.
constexpr int kLowestDataPort = 1024;

bool isUsableDataPort(int port) {
    return port >= kLowestDataPort && port <= 65535;
}

std::string portArgument(const SocketAddress& address) {
    std::string host = address.host();
    for (char& c : host)
        if (c == '.')
            c = ',';
    int port = address.port();
    return host + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

std::string eprtArgument(const SocketAddress& address) {
    return std::string("|") + (address.isIpv6() ? "2" : "1") + "|" + address.host() + "|" +
           std::to_string(address.port()) + "|";
}

} // namespace

DataConnection::DataConnection(ControlConnection& control, const AbortSignal& abort,
                               const FtpTimeouts& timeouts, const Deadline& deadline)
    : control_(control), abort_(abort), timeouts_(timeouts), deadline_(deadline), listener_(abort), data_(abort) {}

int DataConnection::waitLeft(Deadline::Clock::time_point lastProgress) const {
    auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline::Clock::now() - lastProgress).count();
    return since >= timeouts_.stallMs ? 0 : deadline_.cap(timeouts_.stallMs - static_cast<int>(since));
}

DataSetup DataConnection::announceActive() {
    active_ = true;
    SocketAddress local;
    if (!control_.socket().localAddress(local) || !control_.socket().peerAddress(server_))
        return DataSetup::Failed;
    local.setPort(0);
    if (!listener_.listenOn(local) || !listener_.localAddress(local))
        return DataSetup::Failed;
    std::string command = local.isIpv6() ? "EPRT " + eprtArgument(local) : "PORT " + portArgument(local);
    FtpReply reply;
    if (!control_.command(command, reply, replyWait()))
        return DataSetup::Failed;
    if (reply.isSuccess())
        return DataSetup::Ready;
    listener_.close();
    return control_.lost() ? DataSetup::Failed : DataSetup::Refused;
}

DataSetup DataConnection::openPassive(bool& epsvRefused) {
    active_ = false;
    SocketAddress peer;
    if (!control_.socket().peerAddress(peer))
        return DataSetup::Failed;
    int port = 0;
    bool lowPortNamed = false;
    FtpReply reply;
    if (!epsvRefused) {
        if (!control_.command("EPSV", reply, replyWait()))
            return DataSetup::Failed;
        if (reply.code == 229)
            port = parseEpsvPort(reply.text());
        else if (control_.lost())
            return DataSetup::Failed;
        else
            epsvRefused = true;
    }
    if (port != 0 && !isUsableDataPort(port)) {
        lowPortNamed = true;
        port = 0;
    }
    if (port == 0 && !peer.isIpv6()) {
        if (!control_.command("PASV", reply, replyWait()))
            return DataSetup::Failed;
        if (reply.code == 227)
            port = parsePasvPort(reply.text());
        if (port != 0 && !isUsableDataPort(port)) {
            lowPortNamed = true;
            port = 0;
        }
    }
    // A port we refuse leaves active mode to try, as a refused PORT leaves
    // passive mode.
    if (port == 0)
        return lowPortNamed ? DataSetup::Refused : DataSetup::Failed;
    // The address in the reply is ignored: a server behind NAT often gives
    // its private address, and the control peer is where it is reachable.
    peer.setPort(port);
    return data_.connectTo(peer, deadline_.cap(timeouts_.connectMs)) ? DataSetup::Ready : DataSetup::Failed;
}

DataArrival DataConnection::awaitConnection(FtpReply& reply, bool& hasReply) {
    hasReply = false;
    if (!active_)
        return data_.isOpen() ? DataArrival::Connected : DataArrival::Failed;
    // Preliminary replies meanwhile do not extend the wait.
    const Deadline accept = Deadline::in(deadline_.cap(timeouts_.acceptMs));
    for (;;) {
        int ready = 0;
        WaitResult waited = WaitResult::Ready;
        if (!control_.hasReadyReply()) {
            const int left = accept.cap(timeouts_.acceptMs);
            if (left <= 0)
                return DataArrival::NeverArrived;
            waited = waitEither(listener_, POLLIN, control_.socket(), left, abort_, ready);
        } else {
            ready = 1;
        }
        if (waited == WaitResult::TimedOut)
            return DataArrival::NeverArrived;
        if (waited != WaitResult::Ready)
            return DataArrival::Failed;
        if (ready == 1) {
            if (!control_.readReply(reply, replyWait()))
                return DataArrival::Failed;
            if (reply.isPreliminary())
                continue;
            if (!reply.isSuccess())
                return DataArrival::ReplyInstead;
            // A fast server may finish before we accepted: its connection
            // is waiting in the backlog with all the data, or (under load)
            // still completing its handshake on our side although the
            // server already sent everything. Taking the reply alone would
            // turn the file into an empty one.
            hasReply = true;
            if (listener_.acceptWithin(kLateConnectionMs, data_, &server_) != WaitResult::Ready)
                return DataArrival::ReplyInstead;
            listener_.close();
            return DataArrival::Connected;
        }
        WaitResult accepted = listener_.acceptWithin(0, data_, &server_);
        if (accepted == WaitResult::Ready) {
            listener_.close();
            return DataArrival::Connected;
        }
        if (accepted != WaitResult::TimedOut)
            return DataArrival::Failed;
    }
}

DataArrival DataConnection::secure(FtpReply& reply, bool& hasReply) {
    if (!protection_)
        return DataArrival::Connected;
    if (!data_.beginTls(*protection_->context, protection_->hostName, protection_->session))
        return DataArrival::Failed;
    const Deadline handshake = Deadline::in(replyWait());
    for (;;) {
        TlsStatus status = data_.advanceTls();
        if (status == TlsStatus::Done)
            break;
        const int left = handshake.cap(timeouts_.replyMs);
        if ((status != TlsStatus::WantRead && status != TlsStatus::WantWrite) || left <= 0)
            return refuseData(hasReply);
        short events = status == TlsStatus::WantRead ? POLLIN : POLLOUT;
        int ready = 0;
        WaitResult waited = hasReply ? (events == POLLIN ? data_.waitReadable(left) : data_.waitWritable(left))
                                     : waitEither(data_, events, control_.socket(), left, abort_, ready);
        if (waited == WaitResult::TimedOut)
            return refuseData(hasReply);
        if (waited != WaitResult::Ready)
            return DataArrival::Failed;
        if (ready == 1) {
            if (!control_.readReply(reply, replyWait()))
                return DataArrival::Failed;
            if (reply.isPreliminary())
                continue;
            // A final reply before the data connection is protected:
            // nothing will come over it.
            hasReply = true;
            return DataArrival::ReplyInstead;
        }
    }
    // Anyone else who reached our data port first would show another
    // certificate (or could not resume the session at all).
    if (data_.tls()->peerFingerprint() != protection_->fingerprint)
        return refuseData(hasReply);
    return DataArrival::Connected;
}

// The data connection cannot be used: it is dropped, and the server's
// answer to the command is read so the conversation stays in step.
DataArrival DataConnection::refuseData(bool hasReply) {
    data_.close();
    FtpReply ignored;
    if (!hasReply)
        control_.readFinalReply(ignored, replyWait());
    return DataArrival::Failed;
}

bool DataConnection::readEarlyReply(FtpReply& earlyReply, bool& hasEarlyReply) {
    FtpReply reply;
    if (!control_.readReply(reply, replyWait()))
        return false;
    if (reply.isPreliminary())
        return true;
    earlyReply = reply;
    hasEarlyReply = true;
    // An error reply ends the transfer; a completion may come before the
    // last data bytes, which are still read.
    return reply.isSuccess();
}

bool DataConnection::receiveAll(const DataSink& sink, std::atomic<int64_t>& counter, FtpReply& earlyReply,
                                bool& hasEarlyReply) {
    std::vector<char> buffer(kDataChunk);
    auto lastByte = Deadline::Clock::now();
    for (;;) {
        const int wait = waitLeft(lastByte);
        if (wait <= 0)
            return false;
        int ready = 0;
        WaitResult waited = hasEarlyReply ? data_.waitReadable(wait)
                                          : waitEither(data_, POLLIN, control_.socket(), wait, abort_, ready);
        if (waited != WaitResult::Ready)
            return false;
        if (ready == 1) {
            if (!readEarlyReply(earlyReply, hasEarlyReply))
                return false;
            continue;
        }
        long n = data_.receiveSome(buffer.data(), buffer.size(), wait);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!sink(buffer.data(), static_cast<std::size_t>(n)))
            return false;
        counter += n;
        lastByte = Deadline::Clock::now();
    }
}

bool DataConnection::sendAll(const DataSource& source, std::atomic<int64_t>& counter, FtpReply& earlyReply,
                             bool& hasEarlyReply) {
    std::vector<char> buffer(kDataChunk);
    data_.limitUnsentBytes(kUnsentLimit);
    auto lastByte = Deadline::Clock::now();
    for (;;) {
        long n = source(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        const char* data = buffer.data();
        std::size_t left = static_cast<std::size_t>(n);
        while (left > 0) {
            const int wait = waitLeft(lastByte);
            if (wait <= 0)
                return false;
            int ready = 0;
            WaitResult waited = waitEither(data_, POLLOUT, control_.socket(), wait, abort_, ready);
            if (waited != WaitResult::Ready)
                return false;
            if (ready == 1) {
                // Any final reply before the upload ended means it was cut short.
                if (!readEarlyReply(earlyReply, hasEarlyReply) || hasEarlyReply)
                    return false;
                continue;
            }
            long sent = data_.sendSome(data, left, wait);
            if (sent == 0)
                continue;
            if (sent < 0)
                return false;
            data += sent;
            left -= static_cast<std::size_t>(sent);
            counter += sent;
            lastByte = Deadline::Clock::now();
        }
    }
    sentEnd_ = data_.shutdownSending(deadline_.cap(timeouts_.stallMs));
    if (data_.isTls())
        awaitPeerClose(earlyReply, hasEarlyReply);
    return true;
}

// Under TLS the server may still send on an upload's connection (session
// tickets). Closed with those unread, the connection is reset, and a reset
// can cost the server the last bytes it had not read yet. So the
// connection is kept until the server ends it, with close_notify when it
// read ours. Its answer to the command may come first: it is taken, and
// the end waited for a moment longer.
void DataConnection::awaitPeerClose(FtpReply& earlyReply, bool& hasEarlyReply) {
    char unused[4096];
    Deadline afterReply = Deadline::in(kLateCloseMs);
    for (;;) {
        int ready = 0;
        WaitResult waited =
            hasEarlyReply
                ? data_.waitReadable(deadline_.cap(afterReply.cap(kLateCloseMs)))
                : waitEither(data_, POLLIN, control_.socket(), deadline_.cap(timeouts_.stallMs), abort_, ready);
        if (waited != WaitResult::Ready)
            return;
        if (ready == 1) {
            if (!readEarlyReply(earlyReply, hasEarlyReply))
                return;
            afterReply = Deadline::in(kLateCloseMs);
            continue;
        }
        if (data_.receiveSome(unused, sizeof unused, 0) <= 0)
            return;
    }
}

bool DataConnection::endConfirmed() const {
    return !data_.isTls() || (sentEnd_ && data_.tls()->closeNotifyReceived());
}

void DataConnection::close() {
    listener_.close();
    data_.close();
}

} // namespace ftp
