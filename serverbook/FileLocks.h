#pragma once
// Byte-range locks on a database file, shared with other processes. Locks
// are counted per position so nested locks by one database are taken once,
// and a whole-file lock covers every byte lock taken inside it.
#include <cstdint>
#include <map>

namespace serverbook {

class FileLocks {
public:
    // writable: the descriptor was opened for writing (exclusive locks);
    // otherwise shared locks are used, which read-only descriptors allow.
    FileLocks(int fd, bool writable) : fd_(fd), writable_(writable) {}

    // Locks one byte; a conflict is retried for up to retryMs milliseconds.
    bool lockByte(int64_t position, int retryMs = 0);
    bool unlockByte(int64_t position);
    bool lockWhole();
    bool unlockWhole();
    // Locks a span at once, failing at once on a conflict; used to cover the
    // first bytes of many records with one call. Not counted.
    bool lockSpan(int64_t start, int64_t length);
    bool unlockSpan(int64_t start, int64_t length);

private:
    bool setLock(int64_t start, int64_t length, bool lock);
    void relockBytes(int64_t start, int64_t length);

    int fd_;
    bool writable_;
    int wholeCount_ = 0;
    std::map<int64_t, int> byteCounts_;
};

// Holds a byte lock for a scope.
class ByteLock {
public:
    ByteLock(FileLocks& locks, int64_t position, int retryMs = 0)
        : locks_(locks), position_(position), held_(locks.lockByte(position, retryMs)) {}
    ~ByteLock() {
        if (held_)
            locks_.unlockByte(position_);
    }
    ByteLock(const ByteLock&) = delete;
    ByteLock& operator=(const ByteLock&) = delete;
    bool held() const { return held_; }

private:
    FileLocks& locks_;
    int64_t position_;
    bool held_;
};

// Holds a span lock for a scope.
class SpanLock {
public:
    SpanLock(FileLocks& locks, int64_t start, int64_t length)
        : locks_(locks), start_(start), length_(length), held_(locks.lockSpan(start, length)) {}
    ~SpanLock() {
        if (held_)
            locks_.unlockSpan(start_, length_);
    }
    SpanLock(const SpanLock&) = delete;
    SpanLock& operator=(const SpanLock&) = delete;
    bool held() const { return held_; }

private:
    FileLocks& locks_;
    int64_t start_;
    int64_t length_;
    bool held_;
};

// Holds the whole-file lock for a scope.
class WholeFileLock {
public:
    explicit WholeFileLock(FileLocks& locks) : locks_(locks), held_(locks.lockWhole()) {}
    ~WholeFileLock() {
        if (held_)
            locks_.unlockWhole();
    }
    WholeFileLock(const WholeFileLock&) = delete;
    WholeFileLock& operator=(const WholeFileLock&) = delete;
    bool held() const { return held_; }

private:
    FileLocks& locks_;
    bool held_;
};

} // namespace serverbook
