#include "transfer/BatchRetry.h"

#include "app/state/Log.h"
#include "ftp/handlers/ConnectionRecovery.h"

BatchRetries::BatchRetries(SessionHandle session, std::function<bool()> stopRequested, BatchRetryState* shared)
    : session_(std::move(session)), state_(shared ? shared : &ownState_) {
    stopped_ = [requested = std::move(stopRequested), disconnected = stoppedByDisconnect()] {
        return disconnected() || (requested && requested());
    };
}

bool BatchRetries::run(const std::string& subject, const std::function<bool(int attempt)>& operation,
                       const std::function<void(const std::string&)>& log) {
    RetryHooks hooks;
    hooks.stopped = stopped_;
    hooks.retrying = [&](int retry) {
        const std::string line = retryLine(subject, retry);
        if (log)
            log(line);
        else
            appendLog(line);
    };
    hooks.reconnected = [this] { showReconnected(*session_); };
    hooks.batch = state_;
    const bool ok = runWithRetries(*session_, operation, batchRetrySchedule(), hooks);
    // The server is taken for gone: said once, as a failed connect is.
    if (state_->serverGone && !state_->goneShown.exchange(true))
        showReconnectFailed(*session_);
    return ok;
}
