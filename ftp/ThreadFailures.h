#pragma once
// Why each thread's last operation on one client failed. Kept per thread:
// an operation another thread runs in between (a listing during a batch,
// a keep-alive) does not change what a thread learns of its own.
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "ftp/TransferFailure.h"

namespace ftp {

class ThreadFailures {
public:
    // The calling thread's last operation ended so.
    void note(TransferFailure failure);
    // The calling thread's last; None when it ran nothing yet.
    TransferFailure last() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::thread::id, TransferFailure>> failures_;
};

} // namespace ftp
