#pragma once
// Trying one file operation again when it failed for a reason that may
// pass: the link dropped or was reset, a time-out, or a transient reply
// (421, 425, 426, 450, 451; the engine's lastFailure() tells). A retry
// waits first, reconnects when the connection is gone (the same server,
// login, protection and folder), then runs the operation again. Permanent
// answers (5xx, the local disk) and aborts are not retried. Any number of
// threads may run it at once, each on its own session.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

class RemoteSession;

// The waits before the retries of one file, in milliseconds: one retry for
// each entry.
struct RetrySchedule {
    std::vector<int> waitsMs;
};

// 1 s, 5 s, 10 s. The first retry comes soon, as most cuts are one reset
// or a moment of a busy server; the later ones give a restarting server
// or a congested link time to recover. A file that cannot be had costs the
// batch about 16 s of waiting, not minutes.
RetrySchedule standardRetrySchedule();

// What the window's batches use: the standard schedule unless tests set
// another (short waits).
RetrySchedule batchRetrySchedule();
void setBatchRetrySchedule(const RetrySchedule& schedule);

// What the files of one batch learn from each other's retries; one for the
// whole batch (and, when its files run on several connections, for all of
// them).
struct BatchRetryState {
    // A file's retries could not make the connection again: the server is
    // taken for gone, and the batch's later files are not retried while
    // their connection is down. They fail at once, as they would without
    // retries, instead of each waiting its retries out.
    std::atomic<bool> serverGone{false};
    // That was said (once for the batch).
    std::atomic<bool> goneShown{false};
};

struct RetryHooks {
    // True once the retries are to end (a stop asked for, the window
    // closing); looked at before each retry and throughout its wait. It
    // reads flags only (see waitUnlessStopped).
    std::function<bool()> stopped;
    // Told of each retry (1, 2, 3...) as it begins, before its wait.
    std::function<void(int retry)> retrying;
    // Told when a reconnect made the connection again.
    std::function<void()> reconnected;
    // Shared with the batch's other files; none: this file alone.
    BatchRetryState* batch = nullptr;
};

// Runs the operation (attempt 0), and again (attempt 1, 2...) while it
// fails worth retrying, the schedule has retries left and nothing stopped
// it. A retry whose reconnect fails is spent; the reconnect's own failure
// decides whether another follows (a server at its connection limit: yes;
// a refused login: no); when the last retry's reconnect failed, the batch
// takes the server for gone. In a batch, a connection found down before the
// first try is made again first (an earlier file's retries ended with it
// lost). The operation runs on the calling thread, whose
// lastFailure() the session keeps. Returns whether it succeeded.
bool runWithRetries(RemoteSession& session, const std::function<bool(int attempt)>& operation,
                    const RetrySchedule& schedule, const RetryHooks& hooks);

// The log line of a retry: the file as its result line names it, then
// "    第N次重试".
std::string retryLine(const std::string& subject, int retry);
