#pragma once
// Ends a connection whose operation has waited too long. libssh's calls
// block without a bound of their own (a read that times out is simply
// tried again), so the one bound on all of them is this: when an armed
// deadline passes, the watchdog's own thread calls onExpiry, which shuts
// the socket down, and whatever libssh waits for then fails at once.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace sftp {

class Watchdog {
public:
    explicit Watchdog(std::function<void()> onExpiry);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Expires ms from now, unless armed again or disarmed before.
    void arm(int ms);
    void disarm();
    // True when the deadline passed since the last arm.
    bool expired() const;

private:
    using Clock = std::chrono::steady_clock;
    void run();

    std::function<void()> onExpiry_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool armed_ = false;
    bool expired_ = false;
    bool stopping_ = false;
    Clock::time_point deadline_;
    // When the thread wakes on its own: the deadline it waits for, kept
    // while disarmed (it then wakes once for nothing), or never.
    Clock::time_point wakeAt_ = Clock::time_point::max();
    std::thread thread_;
};

} // namespace sftp
