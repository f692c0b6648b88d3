#include "transfer/BatchConnections.h"

#include "app/state/WorkerThreads.h"
#include "ftp/handlers/TransferPool.h"

#include <algorithm>
#include <thread>

// One call of run(): its items and how far its connections got.
struct BatchConnections::Round {
    std::size_t count = 0;
    const Work* work = nullptr;
    std::atomic<std::size_t> next{0};
    std::size_t pending = 0;  // lanes still getting their connection
    std::size_t ready = 0;    // lanes that got one
};

BatchConnections::BatchConnections(const BatchSnapshot& snapshot, std::function<bool()> stopRequested)
    : snapshot_(snapshot), stopRequested_(std::move(stopRequested)) {
    onBrowsing_ = transferConnectionsSetting() == 1;
    planned_ = onBrowsing_ ? 1 : static_cast<std::size_t>(std::max(1, transferConnectionLimit(snapshot_.session)));
    lanes_.resize(planned_);
}

BatchConnections::~BatchConnections() {
    for (Lane& lane : lanes_)
        if (lane.pooled)
            giveBackTransferConnection(snapshot_.session, std::move(lane.session));
}

bool BatchConnections::stopRequested() const {
    return workersStopping() || (stopRequested_ && stopRequested_());
}

// The lane's connection, made on the lane's own thread so that several
// connect at once. A lane the server refuses is left out; when no lane of
// the round got one, the last to be refused works on the browsing session.
bool BatchConnections::laneReady(std::size_t index, Round& round) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Lane& lane = lanes_[index];
        if (lane.session) {
            --round.pending;
            ++round.ready;
            return true;
        }
    }
    SessionHandle session;
    bool pooled = false;
    if (onBrowsing_) {
        session = snapshot_.session;
    } else if (!lanes_[index].unavailable) {
        TransferFailure failure = TransferFailure::None;
        session = takeTransferConnection(snapshot_.session, failure);
        pooled = session != nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Lane& lane = lanes_[index];
    --round.pending;
    if (!session) {
        lane.unavailable = true;
        if (round.pending > 0 || round.ready > 0)
            return false;
        session = snapshot_.session;  // nothing else is left
    }
    lane.session = session;
    lane.pooled = pooled;
    lane.retries = std::make_unique<BatchRetries>(session, stopRequested_, &state_);
    ++round.ready;
    return true;
}

void BatchConnections::runLane(std::size_t index, Round& round) {
    if (!laneReady(index, round))
        return;
    BatchRetries& retries = *lanes_[index].retries;
    // A stop is looked at after each item, as a batch on one connection
    // always did: the item a connection took first is done in any case.
    while (!workersStopping()) {
        const std::size_t item = round.next.fetch_add(1);
        if (item >= round.count)
            break;
        (*round.work)(item, retries);
        if (stopRequested())
            break;
    }
}

std::size_t BatchConnections::run(std::size_t count, const Work& work, std::size_t maxConnections) {
    if (count == 0)
        return 0;
    const std::size_t lanes = std::min({count, maxConnections, planned_});
    // Connections made in earlier rounds first: a round of fewer lanes
    // uses them rather than make new ones.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < planned_; ++i)
        if (lanes_[i].session)
            order.push_back(i);
    for (std::size_t i = 0; i < planned_; ++i)
        if (!lanes_[i].session)
            order.push_back(i);
    Round round;
    round.count = count;
    round.work = &work;
    round.pending = lanes;
    std::vector<std::thread> others;
    for (std::size_t i = 1; i < lanes; ++i)
        others.emplace_back([this, lane = order[i], &round] { runLane(lane, round); });
    runLane(order[0], round);
    for (std::thread& t : others)
        t.join();
    return std::min(round.next.load(), count);
}

void BatchConnections::runOne(const std::function<void(BatchRetries&)>& work) {
    run(1, [&](std::size_t, BatchRetries& retries) { work(retries); }, 1);
}
