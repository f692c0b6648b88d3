#include "ftp/handlers/TransferPool.h"

#include "app/state/Settings.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct IdleConnection {
    SessionHandle session;
    Clock::time_point since;
};

// The transfer connections of one browsing session.
struct Pool {
    std::weak_ptr<RemoteSession> browsing;
    const RemoteSession* key = nullptr;
    std::vector<IdleConnection> idle;
    // Lent to batches, or being connected for one.
    std::vector<std::weak_ptr<RemoteSession>> lent;
    int connecting = 0;
    int lowered = 0;  // 0: the setting counts
    Clock::time_point loweredAt;
};

struct Pools {
    std::mutex mutex;
    std::vector<Pool> all;
    TransferPoolTimes times;
};

Pools& pools() {
    static Pools state;
    return state;
}

Pool* poolOf(const RemoteSession* browsing) {
    for (Pool& p : pools().all)
        if (p.key == browsing && !p.browsing.expired())
            return &p;
    return nullptr;
}

Pool& poolFor(const SessionHandle& browsing) {
    if (Pool* p = poolOf(browsing.get()))
        return *p;
    Pool p;
    p.browsing = browsing;
    p.key = browsing.get();
    pools().all.push_back(std::move(p));
    return pools().all.back();
}

int lentCount(Pool& p) {
    p.lent.erase(std::remove_if(p.lent.begin(), p.lent.end(),
                                [](const std::weak_ptr<RemoteSession>& s) { return s.expired(); }),
                 p.lent.end());
    return static_cast<int>(p.lent.size());
}

int openCount(Pool& p) {
    return lentCount(p) + static_cast<int>(p.idle.size()) + p.connecting;
}

// setting: transferConnectionsSetting(), read before the lock (it reads
// the settings file).
int limitOf(const Pool& p, int setting) {
    const auto raiseAfter = std::chrono::milliseconds(pools().times.raiseAfterMs);
    if (p.lowered > 0 && Clock::now() - p.loweredAt < raiseAfter)
        return std::min(p.lowered, setting);
    return setting;
}

// The idle connections to close now; closed by the caller outside the lock.
std::vector<SessionHandle> takeExpiredLocked(const SessionHandle& current) {
    std::vector<SessionHandle> expired;
    const auto idleClose = std::chrono::milliseconds(pools().times.idleCloseMs);
    const Clock::time_point now = Clock::now();
    auto& all = pools().all;
    for (Pool& p : all) {
        const SessionHandle browsing = p.browsing.lock();
        const bool serverGone = !browsing || browsing != current || !browsing->isConnected();
        for (auto it = p.idle.begin(); it != p.idle.end();) {
            if (serverGone || now - it->since >= idleClose) {
                expired.push_back(std::move(it->session));
                it = p.idle.erase(it);
            } else {
                ++it;
            }
        }
    }
    all.erase(std::remove_if(all.begin(), all.end(),
                             [](Pool& p) { return p.browsing.expired() && p.idle.empty() && lentCount(p) == 0; }),
              all.end());
    return expired;
}

void closeAll(std::vector<SessionHandle>& sessions) {
    for (SessionHandle& s : sessions)
        s->disconnect();
    sessions.clear();
}

// A new connection like the browsing one; the slot is already counted.
SessionHandle connectAnother(const SessionHandle& browsing, TransferFailure& failure) {
    SessionHandle other(browsing->newConnectionLikeThis());
    if (other->reconnect()) {
        failure = TransferFailure::None;
        return other;
    }
    failure = other->lastFailure();
    return nullptr;
}

// The server turned a connection away as too many: the batch's
// connections stay at what it holds now until the limit is raised again.
void lowerLimitAfterRefusal(const SessionHandle& browsing) {
    std::lock_guard<std::mutex> lock(pools().mutex);
    Pool& p = poolFor(browsing);
    p.lowered = std::max(1, openCount(p));
    p.loweredAt = Clock::now();
}

} // namespace

int transferCountOf(const std::string& text) {
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int count = std::stoi(text);
    return count >= 1 && count <= kMaxTransferConnections ? count : 0;
}

namespace {
std::atomic<int> defaultCount{kDefaultTransferConnections};
}

int transferConnectionsSetting() {
    const int count = transferCountOf(readSetting(kTransferConnectionsSetting));
    return count > 0 ? count : defaultCount.load();
}

void setTransferConnectionsDefault(int count) {
    defaultCount = transferCountOf(std::to_string(count)) > 0 ? count : kDefaultTransferConnections;
}

bool storeTransferConnectionsSetting(int count) {
    if (count < 1 || count > kMaxTransferConnections)
        return false;
    return writeSetting(kTransferConnectionsSetting, std::to_string(count));
}

void setTransferPoolTimes(const TransferPoolTimes& times) {
    std::lock_guard<std::mutex> lock(pools().mutex);
    pools().times = times;
}

int transferConnectionLimit(const SessionHandle& browsing) {
    const int setting = transferConnectionsSetting();
    std::lock_guard<std::mutex> lock(pools().mutex);
    const Pool* p = poolOf(browsing.get());
    return p ? limitOf(*p, setting) : setting;
}

SessionHandle takeTransferConnection(const SessionHandle& browsing, TransferFailure& failure) {
    failure = TransferFailure::None;
    const SessionHandle current = currentSession();
    const int setting = transferConnectionsSetting();
    std::vector<SessionHandle> expired;
    SessionHandle idle;
    {
        std::lock_guard<std::mutex> lock(pools().mutex);
        expired = takeExpiredLocked(current);
        Pool& p = poolFor(browsing);
        if (!p.idle.empty()) {
            idle = std::move(p.idle.back().session);
            p.idle.pop_back();
            p.lent.push_back(idle);
        } else if (openCount(p) < limitOf(p, setting)) {
            ++p.connecting;
        } else {
            failure = TransferFailure::TooManyConnections;
        }
    }
    closeAll(expired);
    if (failure != TransferFailure::None)
        return nullptr;
    // An idle connection the server closed meanwhile is made again.
    if (idle) {
        if (idle->connectionAlive() || idle->reconnect())
            return idle;
        failure = idle->lastFailure();
        idle.reset();  // its slot goes with it
        if (failure == TransferFailure::TooManyConnections)
            lowerLimitAfterRefusal(browsing);
        return nullptr;
    }
    SessionHandle made = connectAnother(browsing, failure);
    {
        std::lock_guard<std::mutex> lock(pools().mutex);
        Pool& p = poolFor(browsing);
        --p.connecting;
        if (made)
            p.lent.push_back(made);
    }
    if (!made && failure == TransferFailure::TooManyConnections)
        lowerLimitAfterRefusal(browsing);
    return made;
}

void giveBackTransferConnection(const SessionHandle& browsing, SessionHandle connection) {
    if (!connection)
        return;
    const SessionHandle current = currentSession();
    const int setting = transferConnectionsSetting();
    const bool keep = connection->isConnected() && browsing == current && browsing->isConnected();
    {
        std::lock_guard<std::mutex> lock(pools().mutex);
        Pool& p = poolFor(browsing);
        p.lent.erase(std::remove_if(p.lent.begin(), p.lent.end(),
                                    [&](const std::weak_ptr<RemoteSession>& s) {
                                        return s.expired() || s.lock() == connection;
                                    }),
                     p.lent.end());
        if (keep && openCount(p) < limitOf(p, setting)) {
            p.idle.push_back({std::move(connection), Clock::now()});
            return;
        }
    }
    connection->disconnect();
}

void closeIdleTransferConnections() {
    const SessionHandle current = currentSession();
    std::vector<SessionHandle> expired;
    {
        std::lock_guard<std::mutex> lock(pools().mutex);
        expired = takeExpiredLocked(current);
    }
    closeAll(expired);
}

namespace {

void abortPoolLocked(Pool& p) {
    for (const IdleConnection& c : p.idle)
        c.session->abort();
    for (const std::weak_ptr<RemoteSession>& held : p.lent)
        if (SessionHandle s = held.lock())
            s->abort();
}

} // namespace

void abortTransferConnectionsOf(const RemoteSession* browsing) {
    std::lock_guard<std::mutex> lock(pools().mutex);
    for (Pool& p : pools().all)
        if (p.key == browsing)
            abortPoolLocked(p);
}

void abortAllTransferConnections() {
    std::lock_guard<std::mutex> lock(pools().mutex);
    for (Pool& p : pools().all)
        abortPoolLocked(p);
}

int transferConnectionsOpen(const SessionHandle& browsing) {
    std::lock_guard<std::mutex> lock(pools().mutex);
    Pool* p = poolOf(browsing.get());
    return p ? openCount(*p) : 0;
}
