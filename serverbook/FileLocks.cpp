#include "serverbook/FileLocks.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

#include <fcntl.h>

namespace serverbook {
namespace {

// Open-file-description locks where the system has them: unlike classic
// record locks they are not dropped when another descriptor of the same
// file is closed. Both kinds conflict with each other between processes.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

bool isConflict(int err) {
    return err == EAGAIN || err == EACCES;
}

} // namespace

bool FileLocks::setLock(int64_t start, int64_t length, bool lock) {
    struct flock fl {};
    fl.l_type = static_cast<short>(!lock ? F_UNLCK : writable_ ? F_WRLCK : F_RDLCK);
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    fl.l_pid = 0;
    while (::fcntl(fd_, kSetLock, &fl) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

bool FileLocks::lockByte(int64_t position, int retryMs) {
    int& count = byteCounts_[position];
    if (count > 0 || wholeCount_ > 0) {
        ++count;
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(retryMs);
    while (!setLock(position, 1, true)) {
        if (!isConflict(errno) || std::chrono::steady_clock::now() >= deadline) {
            byteCounts_.erase(position);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    count = 1;
    return true;
}

bool FileLocks::unlockByte(int64_t position) {
    auto it = byteCounts_.find(position);
    if (it == byteCounts_.end())
        return false;
    if (--it->second > 0)
        return true;
    byteCounts_.erase(it);
    return wholeCount_ > 0 || setLock(position, 1, false);
}

bool FileLocks::lockWhole() {
    if (wholeCount_ > 0 || setLock(0, 0, true)) {
        ++wholeCount_;
        return true;
    }
    return false;
}

bool FileLocks::unlockWhole() {
    if (wholeCount_ == 0)
        return false;
    if (--wholeCount_ > 0)
        return true;
    const bool unlocked = setLock(0, 0, false);
    // Byte locks still counted were merged into the whole-file lock; take
    // them back on their own.
    relockBytes(0, INT64_MAX);
    return unlocked;
}

bool FileLocks::lockSpan(int64_t start, int64_t length) {
    return wholeCount_ > 0 || setLock(start, length, true);
}

bool FileLocks::unlockSpan(int64_t start, int64_t length) {
    if (wholeCount_ > 0)
        return true;
    const bool unlocked = setLock(start, length, false);
    relockBytes(start, length);
    return unlocked;
}

void FileLocks::relockBytes(int64_t start, int64_t length) {
    for (auto it = byteCounts_.lower_bound(start); it != byteCounts_.end() && it->first - start < length; ++it)
        setLock(it->first, 1, true);
}

} // namespace serverbook
