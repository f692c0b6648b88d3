#include "transfer/Retry.h"

#include "app/state/WorkerThreads.h"
#include "ftp/RemoteSession.h"
#include "ftp/TransferFailure.h"

#include <mutex>

namespace {

std::mutex scheduleMutex;
RetrySchedule& batchSchedule() {
    static RetrySchedule schedule = standardRetrySchedule();
    return schedule;
}

} // namespace

RetrySchedule standardRetrySchedule() {
    return RetrySchedule{{2000, 5000, 10000}};
}

RetrySchedule batchRetrySchedule() {
    std::lock_guard<std::mutex> lock(scheduleMutex);
    return batchSchedule();
}

void setBatchRetrySchedule(const RetrySchedule& schedule) {
    std::lock_guard<std::mutex> lock(scheduleMutex);
    batchSchedule() = schedule;
}

bool runWithRetries(RemoteSession& session, const std::function<bool(int attempt)>& operation,
                    const RetrySchedule& schedule, const RetryHooks& hooks) {
    auto stopped = [&] { return hooks.stopped && hooks.stopped(); };
    auto serverGone = [&] { return hooks.batch && hooks.batch->serverGone.load(); };
    // In a batch, a connection an earlier file's retries could not keep is
    // made again before this file's first try, which then counts as no
    // retry of its own.
    if (hooks.batch && !session.isConnected() && !serverGone() && !stopped() && session.reconnect() &&
        hooks.reconnected)
        hooks.reconnected();
    bool ok = operation(0);
    bool reconnectFailed = false;
    for (std::size_t i = 0; !ok && i < schedule.waitsMs.size(); ++i) {
        if (!worthRetrying(session.lastFailure()) || stopped() || (serverGone() && !session.isConnected()))
            break;
        const int retry = static_cast<int>(i) + 1;
        if (hooks.retrying)
            hooks.retrying(retry);
        if (!waitUnlessStopped(schedule.waitsMs[i], hooks.stopped))
            break;
        reconnectFailed = false;
        if (!session.isConnected()) {
            reconnectFailed = !session.reconnect();
            if (reconnectFailed)
                continue;
            if (hooks.reconnected)
                hooks.reconnected();
        }
        ok = operation(retry);
    }
    // A reconnect that a stop cut short says nothing about the server.
    if (hooks.batch && reconnectFailed && !stopped())
        hooks.batch->serverGone = true;
    return ok;
}

std::string retryLine(const std::string& subject, int retry) {
    return subject + "    第" + std::to_string(retry) + "次重试";
}
