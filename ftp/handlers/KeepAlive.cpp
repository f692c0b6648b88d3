#include "ftp/handlers/KeepAlive.h"

#include "app/state/WorkerThreads.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/TransferPool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::mutex mutex;
std::condition_variable wake;
KeepAliveTimes times;
Clock::time_point lastCommand = Clock::now();
bool stopRequested = false;
bool sending = false;  // a NOOP is out
std::weak_ptr<RemoteSession> sendingOn;  // on this session
// Never destroyed: a process that ends without closing its window must not
// end in std::terminate for a thread still running.
std::thread* thread = nullptr;

// Whether a NOOP is due now on the session: connected, nothing running,
// and a user command within the idle limit. Under the mutex.
bool noopDue(const RemoteSession& session) {
    if (Clock::now() - lastCommand > std::chrono::milliseconds(times.idleLimitMs))
        return false;
    return runningWorkers() == 0 && session.isConnected();
}

// Idle transfer connections are looked at this often, so that one is
// closed within seconds of its time.
constexpr auto kPoolCheck = std::chrono::seconds(10);

void keepAliveLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    Clock::time_point nextNoop = Clock::now() + std::chrono::milliseconds(times.intervalMs);
    while (!stopRequested) {
        const auto untilNoop = std::max(Clock::duration::zero(), nextNoop - Clock::now());
        wake.wait_for(lock, std::min<Clock::duration>(untilNoop, kPoolCheck), [] { return stopRequested; });
        if (stopRequested)
            break;
        lock.unlock();
        closeIdleTransferConnections();
        lock.lock();
        if (Clock::now() < nextNoop)
            continue;
        nextNoop = Clock::now() + std::chrono::milliseconds(times.intervalMs);
        SessionHandle session = currentSession();
        if (stopRequested || !noopDue(*session))
            continue;
        sending = true;
        sendingOn = session;
        lock.unlock();
        session->keepAlive();
        // A session dropped meanwhile closes here, outside the lock.
        session.reset();
        lock.lock();
        sending = false;
    }
}

} // namespace

void setKeepAliveTimes(const KeepAliveTimes& newTimes) {
    std::lock_guard<std::mutex> lock(mutex);
    times = newTimes;
}

void startKeepAlive() {
    std::lock_guard<std::mutex> lock(mutex);
    if (thread)
        return;
    stopRequested = false;
    lastCommand = Clock::now();
    thread = new std::thread(keepAliveLoop);
}

void stopKeepAlive() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!thread)
            return;
        stopRequested = true;
    }
    wake.notify_all();
    // A NOOP waiting for its reply is cut off, as closing cuts every other
    // operation; until the loop has seen the stop, again in case the NOOP
    // had not taken the client yet.
    std::unique_lock<std::mutex> lock(mutex);
    while (sending) {
        if (SessionHandle session = sendingOn.lock())
            session->abortRunningOperation();
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lock.lock();
    }
    lock.unlock();
    thread->join();  // start and stop both run on the UI thread
    delete thread;
    thread = nullptr;
}

void noteUserCommand() {
    std::lock_guard<std::mutex> lock(mutex);
    lastCommand = Clock::now();
}
