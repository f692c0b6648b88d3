#pragma once
// A wake-up that any thread can raise to end the waits of a blocked
// operation at once; every socket wait of the engine also watches it.
#include <atomic>

namespace ftp {

class AbortSignal {
public:
    AbortSignal();
    ~AbortSignal();
    AbortSignal(const AbortSignal&) = delete;
    AbortSignal& operator=(const AbortSignal&) = delete;

    void raise();
    // Clears a raised signal; returns whether it had been raised.
    bool consume();
    bool raised() const { return raised_.load(); }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::atomic<bool> raised_{false};
};

} // namespace ftp
