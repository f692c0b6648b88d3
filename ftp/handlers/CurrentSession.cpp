#include "ftp/handlers/CurrentSession.h"

#include "ftp/AbortSignal.h"
#include "ftp/FtpClient.h"
#include "ftp/handlers/TransferPool.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct Sessions {
    std::mutex mutex;
    SessionHandle current;
    // Every session that was current and may still be in use.
    std::vector<std::weak_ptr<RemoteSession>> handedOut;
    FtpTimeouts timeouts;
    uint64_t latestConnect = 0;
};

Sessions& sessions() {
    static Sessions all;
    return all;
}

// A session that is not connected: operations on it fail at once.
SessionHandle unconnectedSession(const FtpTimeouts& timeouts) {
    auto session = std::make_shared<FtpClient>();
    session->setTimeouts(timeouts);
    return session;
}

// Guarded by sessions().mutex: the connects in progress and what each is
// connecting.
struct Attempt {
    uint64_t id;
    ftp::AbortSignal* signal;
    RemoteSession* session;
};
std::vector<Attempt>& attempts() {
    static std::vector<Attempt> running;
    return running;
}

Attempt* attemptOf(uint64_t id) {
    for (Attempt& a : attempts())
        if (a.id == id)
            return &a;
    return nullptr;
}

void abortAttempt(Attempt& a, bool wholeConnection) {
    a.signal->raise();
    if (!a.session)
        return;
    if (wholeConnection)
        a.session->abort();
    else
        a.session->abortRunningOperation();
}

} // namespace

SessionHandle currentSession() {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.current)
        s.current = unconnectedSession(s.timeouts);
    return s.current;
}

void setSessionTimeouts(const FtpTimeouts& timeouts) {
    SessionHandle current;
    {
        Sessions& s = sessions();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.timeouts = timeouts;
        current = s.current;
    }
    if (current)
        current->setTimeouts(timeouts);
}

FtpTimeouts sessionTimeouts() {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.timeouts;
}

void dropCurrentSession() {
    // Declared before the lock, so that a last hold closes its connection
    // (FTP waits a moment for QUIT's reply) after the lock is released.
    SessionHandle old;
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    old = std::move(s.current);
    s.current = unconnectedSession(s.timeouts);
}

void abortCurrentSession() {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.current) {
        s.current->abortRunningOperation();
        abortTransferConnectionsOf(s.current.get());
    }
    for (Attempt& a : attempts())
        abortAttempt(a, false);
}

void abortAllSessions() {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const std::weak_ptr<RemoteSession>& held : s.handedOut)
        if (SessionHandle session = held.lock())
            session->abort();
    if (s.current)
        s.current->abort();
    abortAllTransferConnections();
    for (Attempt& a : attempts())
        abortAttempt(a, true);
}

PendingConnect::PendingConnect() : signal_(std::make_unique<ftp::AbortSignal>()) {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    attempt_ = ++s.latestConnect;
    // A later connect ends an earlier one still running.
    for (Attempt& a : attempts())
        abortAttempt(a, false);
    attempts().push_back({attempt_, signal_.get(), nullptr});
}

PendingConnect::~PendingConnect() {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto& running = attempts();
    running.erase(std::remove_if(running.begin(), running.end(), [&](const Attempt& a) { return a.id == attempt_; }),
                  running.end());
}

const ftp::AbortSignal& PendingConnect::signal() const {
    return *signal_;
}

void PendingConnect::track(RemoteSession& session) {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    // Aborted before the session existed: finish() tells.
    if (Attempt* a = attemptOf(attempt_))
        a->session = &session;
}

void PendingConnect::untrack() {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Attempt* a = attemptOf(attempt_))
        a->session = nullptr;
}

bool PendingConnect::finish() {
    untrack();
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    return !signal_->raised() && attempt_ == s.latestConnect;
}

bool PendingConnect::superseded() const {
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    return attempt_ != s.latestConnect;
}

bool PendingConnect::makeCurrent(SessionHandle session) {
    SessionHandle old;  // released after the lock, as in dropCurrentSession
    Sessions& s = sessions();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (attempt_ != s.latestConnect || !session)
        return false;
    s.handedOut.erase(std::remove_if(s.handedOut.begin(), s.handedOut.end(),
                                     [](const std::weak_ptr<RemoteSession>& held) { return held.expired(); }),
                      s.handedOut.end());
    s.handedOut.push_back(session);
    old = std::move(s.current);
    s.current = std::move(session);
    return true;
}
