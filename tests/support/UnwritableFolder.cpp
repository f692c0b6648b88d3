#include "tests/support/UnwritableFolder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Whether a file can be made in the folder (the probe is removed again).
bool takesNewFiles(const std::string& folder) {
    const std::string probe = folder + "/.probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

} // namespace

UnwritableFolder::UnwritableFolder(const std::string& path) : path_(path) {
    ::chmod(path_.c_str(), 0555);
    if (takesNewFiles(path_))
        immutable_ = setImmutable(true);
    made_ = !takesNewFiles(path_);
}

UnwritableFolder::~UnwritableFolder() {
    if (immutable_)
        setImmutable(false);
    ::chmod(path_.c_str(), 0700);
}

bool UnwritableFolder::setImmutable(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace testsupport
