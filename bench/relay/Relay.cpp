#include "bench/relay/Relay.h"

#include "bench/relay/LoopbackSockets.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace relay {

namespace {

constexpr std::size_t kReadChunk = 256 * 1024;
// A TCP connection is usable at the far end after three crossings of the
// link (SYN, SYN-ACK, ACK); the opener's own connect to the relay is
// instant, so the relay waits that long before connecting onward.
constexpr int kHandshakeCrossings = 3;

timespec timeoutUntil(Clock::time_point wake, Clock::time_point now) {
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count();
    if (left < 0)
        left = 0;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(left / 1000000000);
    ts.tv_nsec = static_cast<long>(left % 1000000000);
    return ts;
}

bool doneToward(const DelayPipe& pipe, bool gone) { return gone || (pipe.ended() && pipe.empty()); }

// "c3" for control connection 3, "d4" for data connection 4, in the log.
std::string named(char kind, int id) {
    std::string name(1, kind);
    name += std::to_string(id);
    return name;
}

} // namespace

Relay::Relay(const RelayOptions& options) : options_(options), buffer_(kReadChunk) {}

bool Relay::listen(std::string& error) {
    listener_ = listenLoopback(options_.listenPort, error);
    if (listener_ < 0)
        return false;
    port_ = localPort(listener_);
    started_ = Clock::now();
    return true;
}

void Relay::run() {
    for (;;) {
        Clock::time_point now = Clock::now();
        for (auto& link : links_) {
            if (link->state == OnwardState::Waiting && !link->onward.gone && link->openAt <= now)
                openOnward(*link, now);
            // Chunks that fell due while waiting go out now, not a poll later.
            if (link->toOpener.headDue(now))
                writeTo(*link, true, now);
            if (link->toOnward.headDue(now))
                writeTo(*link, false, now);
        }
        buildPollSet(now);
        const Clock::time_point wake = nextWake(now);
        timespec ts = timeoutUntil(wake, now);
        int ready = ppoll(pollSet_.data(), pollSet_.size(), wake == Clock::time_point::max() ? nullptr : &ts,
                          nullptr);
        if (ready < 0 && errno != EINTR)
            return;
        now = Clock::now();
        for (std::size_t i = 0; ready > 0 && i < pollSet_.size(); ++i)
            if (pollSet_[i].revents != 0)
                handle(pollSet_[i], watches_[i], now);
        for (auto it = links_.begin(); it != links_.end();) {
            if (finished(**it)) {
                closeLink(**it);
                it = links_.erase(it);
            } else {
                ++it;
            }
        }
    }
}

Clock::time_point Relay::nextWake(Clock::time_point now) const {
    Clock::time_point wake = Clock::time_point::max();
    for (const auto& link : links_) {
        if (link->state == OnwardState::Waiting && !link->onward.gone)
            wake = std::min(wake, link->openAt);
        if (!link->toOpener.empty() && !link->toOpener.headDue(now))
            wake = std::min(wake, link->toOpener.headDueTime());
        if (!link->toOnward.empty() && !link->toOnward.headDue(now))
            wake = std::min(wake, link->toOnward.headDueTime());
    }
    return wake;
}

void Relay::buildPollSet(Clock::time_point now) {
    pollSet_.clear();
    watches_.clear();
    auto add = [&](int fd, short events, const Watch& watch) {
        if (fd < 0 || events == 0)
            return;
        pollSet_.push_back({fd, events, 0});
        watches_.push_back(watch);
    };
    add(listener_, POLLIN, {nullptr, nullptr, false});
    for (auto& holder : links_) {
        Link& link = *holder;
        add(link.listener, POLLIN, {nullptr, &link, false});
        short opener = 0, onward = 0;
        if (link.opener.reading && link.toOnward.queuedBytes() < options_.bufferBytes)
            opener |= POLLIN;
        if (link.toOpener.headDue(now))
            opener |= POLLOUT;
        if (link.state == OnwardState::Connecting) {
            onward = POLLOUT;
        } else if (link.state == OnwardState::Connected) {
            if (link.onward.reading && link.toOpener.queuedBytes() < options_.bufferBytes)
                onward |= POLLIN;
            if (link.toOnward.headDue(now))
                onward |= POLLOUT;
        }
        add(link.opener.fd, opener, {&link, nullptr, true});
        add(link.onward.fd, onward, {&link, nullptr, false});
    }
}

void Relay::handle(const pollfd& p, const Watch& w, Clock::time_point now) {
    if (w.listenerOf) {
        acceptData(*w.listenerOf, now);
        return;
    }
    if (!w.link) {
        acceptControl(now);
        return;
    }
    Link& link = *w.link;
    Side& side = w.opener ? link.opener : link.onward;
    if (!w.opener && link.state == OnwardState::Connecting) {
        finishConnect(link, now);
        return;
    }
    if ((p.revents & (POLLIN | POLLERR | POLLHUP)) && side.reading && side.fd >= 0)
        readFrom(link, w.opener, now);
    // An end that was reset reports an error even when only writing was
    // asked for; the write then finds out.
    if ((p.revents & (POLLOUT | POLLERR | POLLHUP)) && side.fd >= 0)
        writeTo(link, w.opener, now);
}

void Relay::acceptControl(Clock::time_point now) {
    for (;;) {
        int fd = acceptConnection(listener_);
        if (fd < 0)
            return;
        auto link = std::make_unique<Link>();
        link->id = nextId_++;
        link->control = true;
        link->opener.fd = fd;
        link->targetPort = options_.serverPort;
        link->openAt = now + kHandshakeCrossings * options_.delay;
        logLine(named('c', link->id) + " connected");
        links_.push_back(std::move(link));
    }
}

void Relay::acceptData(Link& control, Clock::time_point now) {
    int fd = acceptConnection(control.listener);
    if (fd < 0)
        return;
    auto link = std::make_unique<Link>();
    link->id = nextId_++;
    link->controlId = control.id;
    link->opener.fd = fd;
    link->targetPort = control.listenerTarget;
    link->openAt = now + kHandshakeCrossings * options_.delay;
    logLine(named('d', link->id) + " opened for " + named('c', control.id) +
            (control.listenerActive ? " (active: the server connected)" : " (passive: the client connected)"));
    // On a real link the server's connect returns only after a round trip,
    // so its "150" and "226" cannot reach the client before the connection
    // does. Here it returns at once; held back, they arrive when they would.
    if (control.listenerActive)
        control.holdRepliesUntil = link->openAt;
    closeDataListener(control);
    links_.push_back(std::move(link));
}

void Relay::openOnward(Link& link, Clock::time_point now) {
    bool connected = false;
    link.onward.fd = connectLoopback(link.targetPort, connected);
    if (link.onward.fd < 0) {
        sideGone(link, false, now);
        return;
    }
    link.state = connected ? OnwardState::Connected : OnwardState::Connecting;
}

void Relay::finishConnect(Link& link, Clock::time_point now) {
    if (connectError(link.onward.fd) != 0) {
        sideGone(link, false, now);
        return;
    }
    link.state = OnwardState::Connected;
}

void Relay::readFrom(Link& link, bool opener, Clock::time_point now) {
    Side& side = opener ? link.opener : link.onward;
    DelayPipe& pipe = opener ? link.toOnward : link.toOpener;
    LineStream& lines = opener ? link.commands : link.replies;
    Clock::time_point due = now + options_.delay;
    if (link.control && !opener)
        due = std::max(due, link.holdRepliesUntil);
    ssize_t n = recv(side.fd, buffer_.data(), buffer_.size(), 0);
    if (n > 0) {
        if (!link.control) {
            pipe.push(due, std::string(buffer_.data(), static_cast<std::size_t>(n)));
        } else if (opener) {
            pipe.push(due, lines.feed(buffer_.data(), static_cast<std::size_t>(n),
                                      [&](const std::string& line) { return rewriteCommand(link, line); }));
        } else {
            pipe.push(due, lines.feed(buffer_.data(), static_cast<std::size_t>(n),
                                      [&](const std::string& line) { return rewriteReply(link, line); }));
        }
    } else if (n == 0) {
        side.reading = false;
        pipe.push(due, lines.takeRest());
        pipe.pushEnd(due, PipeEnd::Closed);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        sideGone(link, opener, now);
    }
}

void Relay::writeTo(Link& link, bool opener, Clock::time_point now) {
    Side& side = opener ? link.opener : link.onward;
    DelayPipe& pipe = opener ? link.toOpener : link.toOnward;
    if (side.fd < 0 || (!opener && link.state != OnwardState::Connected))
        return;
    const bool cutting = !link.control && options_.cutDataAt >= 0 && !cutDone_;
    while (pipe.headDue(now)) {
        if (pipe.headEnd() == PipeEnd::Closed) {
            shutdown(side.fd, SHUT_WR);
            pipe.popEnd();
            return;
        }
        if (pipe.headEnd() == PipeEnd::Reset) {
            // The other end was reset: this one is, too, as late as its bytes.
            closeWithReset(side.fd);
            side.fd = -1;
            side.gone = true;
            side.reading = false;
            pipe.popEnd();
            (opener ? link.toOnward : link.toOpener).clear();
            return;
        }
        std::size_t size = pipe.headSize();
        if (cutting && link.carried + static_cast<int64_t>(size) >= options_.cutDataAt)
            size = static_cast<std::size_t>(options_.cutDataAt - link.carried);
        if (size == 0) {
            cut(link);
            return;
        }
        ssize_t written = send(side.fd, pipe.headData(), size, MSG_NOSIGNAL);
        if (written < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                sideGone(link, opener, now);
            return;
        }
        pipe.consume(static_cast<std::size_t>(written));
        link.carried += written;
        if (cutting && link.carried >= options_.cutDataAt) {
            cut(link);
            return;
        }
    }
}

// The end was reset or failed: nothing more can be written to it, and the
// other end learns of it after the bytes already on their way.
void Relay::sideGone(Link& link, bool opener, Clock::time_point now) {
    Side& side = opener ? link.opener : link.onward;
    if (side.fd >= 0)
        close(side.fd);
    side.fd = -1;
    side.gone = true;
    side.reading = false;
    if (!opener)
        link.state = OnwardState::Connected;  // nothing to wait for any more
    (opener ? link.toOpener : link.toOnward).clear();
    (opener ? link.toOnward : link.toOpener).pushEnd(now + options_.delay, PipeEnd::Reset);
}

void Relay::cut(Link& link) {
    cutDone_ = true;
    for (Side* side : {&link.opener, &link.onward}) {
        if (side->fd >= 0) {
            if (options_.cutMode == CutMode::Reset)
                closeWithReset(side->fd);
            else
                close(side->fd);
        }
        side->fd = -1;
        side->gone = true;
        side->reading = false;
    }
    link.toOpener.clear();
    link.toOnward.clear();
    logLine(named('d', link.id) + " cut after " + std::to_string(link.carried) + " bytes (" +
            (options_.cutMode == CutMode::Reset ? "reset" : "close") + ")");
}

bool Relay::finished(const Link& link) const {
    return doneToward(link.toOpener, link.opener.gone) && doneToward(link.toOnward, link.onward.gone);
}

void Relay::closeLink(Link& link) {
    if (link.opener.fd >= 0)
        close(link.opener.fd);
    if (link.onward.fd >= 0)
        close(link.onward.fd);
    link.opener.fd = link.onward.fd = -1;
    closeDataListener(link);
    logLine(named(link.control ? 'c' : 'd', link.id) + " closed after " + std::to_string(link.carried) +
            " bytes");
}

std::string Relay::rewriteCommand(Link& link, const std::string& line) {
    const std::string verb = commandVerb(line);
    logLine(named('c', link.id) + "> " + (verb == "PASS" ? std::string("PASS ****") : line));
    if (verb == "AUTH") {
        link.authAsked = true;
        return line + "\r\n";
    }
    return withRelayAddress(link, line, parseCommand(line), true);
}

std::string Relay::rewriteReply(Link& link, const std::string& line) {
    if (link.authAsked && line.size() >= 4 && line[3] == ' ') {
        link.authAsked = false;
        if (line.rfind("234", 0) == 0) {
            // TLS follows: its bytes cannot be read, so data addresses can
            // no longer be rewritten either.
            logLine(named('c', link.id) + " TLS accepted: from here on passed through unread");
            link.commands.setRaw();
            link.replies.setRaw();
            return line + "\r\n";
        }
    }
    return withRelayAddress(link, line, parseReply(line), false);
}

// The line again, naming a listener of the relay's own when it carries a
// data address; unchanged (line end added) otherwise.
std::string Relay::withRelayAddress(Link& control, const std::string& line, const ParsedAddress& parsed, bool active) {
    if (parsed.kind == AddressLine::None)
        return line + "\r\n";
    int port = openDataListener(control, parsed.port, active);
    return port > 0 ? addressLine(parsed.kind, port) : line + "\r\n";
}

// One listener per control connection: a data command uses the address
// announced last, so an earlier one not used by now never will be.
int Relay::openDataListener(Link& control, int targetPort, bool active) {
    closeDataListener(control);
    std::string error;
    control.listener = listenLoopback(0, error);
    if (control.listener < 0) {
        logLine(named('c', control.id) + " no data listener: " + error);
        return 0;
    }
    control.listenerTarget = targetPort;
    control.listenerActive = active;
    return localPort(control.listener);
}

void Relay::closeDataListener(Link& control) {
    if (control.listener >= 0)
        close(control.listener);
    control.listener = -1;
}

void Relay::logLine(const std::string& text) const {
    if (!options_.log)
        return;
    std::fprintf(stderr, "%9.3f %s\n", std::chrono::duration<double>(Clock::now() - started_).count(), text.c_str());
}

} // namespace relay
