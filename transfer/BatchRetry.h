#pragma once
// The window's batches run every file operation through the retry policy
// (transfer/Retry.h) on the batch's session: each retry is one log line,
// and a reconnect shows in pane 0, as does a server the retries could not
// reach again.
#include "ftp/handlers/CurrentSession.h"
#include "transfer/Retry.h"

#include <functional>
#include <string>

// The retries of one batch on its session, made when it starts. What ends
// their waits: the batch's own stop request (停止; none for batches without
// one), 断开 after the batch began, or the window closing.
class BatchRetries {
public:
    // shared: the state of a batch whose files run on several connections,
    // one BatchRetries for each; none: this one's own.
    explicit BatchRetries(SessionHandle session, std::function<bool()> stopRequested = {},
                          BatchRetryState* shared = nullptr);
    BatchRetries(const BatchRetries&) = delete;
    BatchRetries& operator=(const BatchRetries&) = delete;

    // Runs the file operation with retries. subject names the file as its
    // result line does; the retry lines go to log (the message log unless
    // the batch gathers its lines).
    bool run(const std::string& subject, const std::function<bool(int attempt)>& operation,
             const std::function<void(const std::string&)>& log = {});
    // The session the batch works on.
    RemoteSession& session() const { return *session_; }
    const SessionHandle& sessionHandle() const { return session_; }

private:
    SessionHandle session_;
    std::function<bool()> stopped_;
    BatchRetryState ownState_;
    BatchRetryState* state_;
};
