#include "sftp/Watchdog.h"

namespace sftp {

Watchdog::Watchdog(std::function<void()> onExpiry) : onExpiry_(std::move(onExpiry)), thread_([this] { run(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Watchdog::arm(int ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    bool sooner;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Only a deadline before the thread's wake-up needs it woken now:
        // it finds a later one when it wakes. Operations arm and disarm
        // the watchdog for every request, and cheaply so.
        sooner = deadline < wakeAt_;
        armed_ = true;
        expired_ = false;
        deadline_ = deadline;
    }
    if (sooner)
        wake_.notify_one();
}

void Watchdog::disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
}

bool Watchdog::expired() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return expired_;
}

void Watchdog::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (!armed_) {
            wakeAt_ = Clock::time_point::max();
            wake_.wait(lock);
            continue;
        }
        if (Clock::now() < deadline_) {
            wakeAt_ = deadline_;
            wake_.wait_until(lock, deadline_);
            continue;
        }
        armed_ = false;
        expired_ = true;
        // Called with the lock held, so a disarm() that returned has
        // either prevented this or come after it.
        onExpiry_();
    }
}

} // namespace sftp
