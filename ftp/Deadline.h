#pragma once
// A point in time after which an operation gives up, whatever the server
// keeps sending. Without one (the default) nothing expires.
#include <algorithm>
#include <chrono>
#include <optional>

namespace ftp {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    Deadline() = default;
    static Deadline in(int ms) { return Deadline(Clock::now() + std::chrono::milliseconds(ms)); }

    bool expired() const { return at_ && Clock::now() >= *at_; }
    // The shorter of ms and the time left (0 once expired).
    int cap(int ms) const {
        if (!at_)
            return ms;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*at_ - Clock::now()).count();
        return left > 0 ? static_cast<int>(std::min<long long>(left, ms)) : 0;
    }

private:
    explicit Deadline(Clock::time_point at) : at_(at) {}

    std::optional<Clock::time_point> at_;
};

} // namespace ftp
