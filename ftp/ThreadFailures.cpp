#include "ftp/ThreadFailures.h"

#include <algorithm>

namespace ftp {

namespace {

// Threads whose last failure a client remembers (a batch, the window, a
// keep-alive timer: a few at most).
constexpr std::size_t kRememberedThreads = 8;

} // namespace

void ThreadFailures::note(TransferFailure failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    failures_.erase(std::remove_if(failures_.begin(), failures_.end(),
                                   [&](const auto& entry) { return entry.first == self; }),
                    failures_.end());
    if (failures_.size() >= kRememberedThreads)
        failures_.erase(failures_.begin());
    failures_.emplace_back(self, failure);
}

TransferFailure ThreadFailures::last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    for (const auto& entry : failures_)
        if (entry.first == self)
            return entry.second;
    return TransferFailure::None;
}

} // namespace ftp
