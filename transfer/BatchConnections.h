#pragma once
// The connections one batch moves its files on. With one transfer at a
// time (the setting at 1) that is the batch's own session, the browsing
// connection, as it always was. With more, up to that many connections of
// the transfer pool, each file on one of them and the browsing connection
// left free; a server that refuses the extra connections leaves the batch
// on as many as it accepted, and on the browsing connection when it
// accepted none. Each connection has the batch's retries.
#include "transfer/BatchRetry.h"
#include "transfer/BatchSnapshot.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class BatchConnections {
public:
    // stopRequested: the batch's 停止 (none for batches without one); it
    // reads flags only.
    BatchConnections(const BatchSnapshot& snapshot, std::function<bool()> stopRequested = {});
    ~BatchConnections();  // the pool connections go back to the pool
    BatchConnections(const BatchConnections&) = delete;
    BatchConnections& operator=(const BatchConnections&) = delete;

    static constexpr std::size_t kAllConnections = static_cast<std::size_t>(-1);

    // Runs work for the items 0..count-1, each once, taken in order by up
    // to maxConnections connections at once (one thread each, the calling
    // thread among them); returns when all that were taken are done. A
    // connection takes no further item once the batch is stopped (after
    // the item it did first) or the window closes. Returns how many items
    // were taken.
    using Work = std::function<void(std::size_t item, BatchRetries& retries)>;
    std::size_t run(std::size_t count, const Work& work, std::size_t maxConnections = kAllConnections);
    // One item on one connection: a step the items after it depend on.
    void runOne(const std::function<void(BatchRetries& retries)>& work);

    // More than one connection may run at once: the progress bar follows
    // the whole batch, not one file.
    bool parallel() const { return planned_ > 1; }
    bool stopRequested() const;

private:
    struct Lane {
        SessionHandle session;
        bool pooled = false;
        bool unavailable = false;
        std::unique_ptr<BatchRetries> retries;
    };
    struct Round;

    bool laneReady(std::size_t index, Round& round);
    void runLane(std::size_t index, Round& round);

    BatchSnapshot snapshot_;
    std::function<bool()> stopRequested_;
    BatchRetryState state_;
    // One file at a time, set so: the browsing connection moves them.
    bool onBrowsing_ = true;
    std::size_t planned_ = 1;
    std::mutex mutex_;  // guards lanes_ and each round's counts
    std::vector<Lane> lanes_;
};
