#pragma once
// A database file opened for positioned reads and writes. Failures keep the
// errno value so the caller can map it onto an error code.
#include <cstddef>
#include <cstdint>
#include <string>

namespace serverbook {

class DbFile {
public:
    DbFile() = default;
    ~DbFile();
    DbFile(const DbFile&) = delete;
    DbFile& operator=(const DbFile&) = delete;

    // open(2) flags; false with lastErrno() set on failure. A file created
    // here is readable by its owner only (it may hold passwords); an
    // existing file keeps its mode.
    bool open(const std::string& path, int flags);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Reads exactly n bytes at the offset; false on a short read or failure.
    bool readAt(int64_t offset, char* buffer, size_t n);
    // Reads up to n bytes; the count read, or -1 on failure.
    int64_t readSome(int64_t offset, char* buffer, size_t n);
    bool writeAt(int64_t offset, const char* buffer, size_t n);
    // File length in bytes, or -1 on failure.
    int64_t length();
    bool truncate(int64_t length);

    int lastErrno() const { return errno_; }

private:
    int fd_ = -1;
    int errno_ = 0;
};

} // namespace serverbook
