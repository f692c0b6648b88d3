#include "serverbook/DbFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace serverbook {

DbFile::~DbFile() {
    close();
}

bool DbFile::open(const std::string& path, int flags) {
    close();
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, S_IRUSR | S_IWUSR);
    errno_ = fd_ < 0 ? errno : 0;
    return fd_ >= 0;
}

void DbFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int64_t DbFile::readSome(int64_t offset, char* buffer, size_t n) {
    if (offset < 0) {
        errno_ = EINVAL;
        return -1;
    }
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, buffer + done, n - done, offset + static_cast<int64_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            errno_ = errno;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

bool DbFile::readAt(int64_t offset, char* buffer, size_t n) {
    return readSome(offset, buffer, n) == static_cast<int64_t>(n);
}

bool DbFile::writeAt(int64_t offset, const char* buffer, size_t n) {
    if (offset < 0) {
        errno_ = EINVAL;
        return false;
    }
    size_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(fd_, buffer + done, n - done, offset + static_cast<int64_t>(done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            errno_ = errno;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

int64_t DbFile::length() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        errno_ = errno;
        return -1;
    }
    return st.st_size;
}

bool DbFile::truncate(int64_t length) {
    if (::ftruncate(fd_, length) != 0) {
        errno_ = errno;
        return false;
    }
    return true;
}

} // namespace serverbook
