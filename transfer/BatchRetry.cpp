#include "transfer/BatchRetry.h"

#include "app/state/Log.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/FtpClientInstance.h"

BatchRetries::BatchRetries(std::function<bool()> stopRequested) {
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
    hooks.reconnected = showReconnected;
    hooks.batch = &state_;
    const bool ok = runWithRetries(ftpClient(), operation, batchRetrySchedule(), hooks);
    // The server is taken for gone: said once, as a failed connect is.
    if (state_.serverGone && !goneShown_) {
        goneShown_ = true;
        showReconnectFailed();
    }
    return ok;
}
