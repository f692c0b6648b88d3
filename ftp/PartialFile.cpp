#include "ftp/PartialFile.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ftp {

namespace {

// Longest file name most Linux file systems take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;
// Numbered names tried after "NAME.part" is taken.
constexpr int kMaxAttempts = 1000;
constexpr const char* kSuffix = ".part";

// The name cut to at most maxBytes, not inside a UTF-8 sequence.
std::string cutName(const std::string& name, std::size_t maxBytes) {
    if (name.size() <= maxBytes)
        return name;
    // Back over at most three continuation bytes: names that are not UTF-8
    // are cut where they are.
    std::size_t end = maxBytes;
    while (end > 0 && maxBytes - end < 3 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

// "NAME.part", then "NAME.1.part", "NAME.2.part"...; NAME is shortened when
// the whole would be longer than a file name may be.
std::string candidateName(const std::string& name, int attempt) {
    std::string suffix = attempt == 0 ? kSuffix : "." + std::to_string(attempt) + kSuffix;
    return cutName(name, kMaxNameBytes - suffix.size()) + suffix;
}

void splitPath(const std::string& path, std::string& folder, std::string& name) {
    std::size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string preferredPartialPath(const std::string& localPath) {
    std::string folder, name;
    splitPath(localPath, folder, name);
    return folder + candidateName(name, 0);
}

PartialFile::~PartialFile() {
    discard();
}

bool PartialFile::create(const std::string& localPath) {
    std::string folder, name;
    splitPath(localPath, folder, name);
    if (name.empty())
        return false;
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        const std::string path = folder + candidateName(name, attempt);
        // O_EXCL never opens what is there, a link included.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        adopt(fd, path, info);
        return true;
    }
    return false;
}

void PartialFile::adopt(int fd, const std::string& path, const struct stat& info) {
    fd_ = fd;
    path_ = path;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    done_ = false;
}

bool PartialFile::reopen(const std::string& path, dev_t device, ino_t inode) {
    close();
    path_.clear();
    // O_NOFOLLOW refuses a link at the name; O_NONBLOCK keeps a FIFO put
    // there from holding us up. Nothing is truncated or created.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 || info.st_dev != device ||
        info.st_ino != inode) {
        ::close(fd);
        return false;
    }
    adopt(fd, path, info);
    return true;
}

long long PartialFile::length() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        return -1;
    return static_cast<long long>(info.st_size);
}

void PartialFile::keep() {
    close();
    done_ = true;
}

bool PartialFile::close() {
    if (fd_ < 0)
        return true;
    bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

bool PartialFile::commit(const std::string& localPath) {
    if (!close() || path_.empty() || done_)
        return false;
    if (std::rename(path_.c_str(), localPath.c_str()) != 0)
        return false;
    done_ = true;
    return true;
}

void PartialFile::discard() {
    close();
    if (path_.empty() || done_)
        return;
    removeIfSameFile(path_, device_, inode_);
    done_ = true;
}

bool removeIfSameFile(const std::string& path, dev_t device, ino_t inode) {
    struct stat info {};
    // Someone may have put another file under the name meanwhile.
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_dev == device &&
           info.st_ino == inode && ::unlink(path.c_str()) == 0;
}

} // namespace ftp
