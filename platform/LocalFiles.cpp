#include "platform/LocalFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

int attributesOf(const std::string& name, const struct stat& st, bool writable) {
    int attrs = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    if (!writable)
        attrs |= kAttrReadOnly;
    if (!name.empty() && name[0] == '.')
        attrs |= kAttrHidden;
    return attrs;
}

// The entries of an opened folder (null: none), which is closed afterwards.
std::vector<LocalEntry> entriesOf(DIR* dir) {
    std::vector<LocalEntry> entries;
    if (!dir)
        return entries;
    const int dirFd = ::dirfd(dir);
    while (struct dirent* de = ::readdir(dir)) {
        std::string name = de->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (::fstatat(dirFd, de->d_name, &st, 0) != 0) {
            // A dangling symlink or an entry that vanished: list what lstat says.
            if (::fstatat(dirFd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
        }
        bool writable = ::faccessat(dirFd, de->d_name, W_OK, 0) == 0;
        entries.push_back({name, attributesOf(name, st, writable), static_cast<int64_t>(st.st_size)});
    }
    ::closedir(dir);
    return entries;
}

} // namespace

int fileAttributes(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return -1;
    return attributesOf(baseName(path), st, ::access(path.c_str(), W_OK) == 0);
}

bool isSymlink(const std::string& path) {
    struct stat st;
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

int64_t fileSize(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

std::vector<LocalEntry> listFolder(const std::string& folder) {
    return entriesOf(::opendir(folder.empty() ? "." : folder.c_str()));
}

std::vector<LocalEntry> listFolderUnlessLink(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    DIR* dir = ::fdopendir(fd);
    if (!dir)
        ::close(fd);
    return entriesOf(dir);
}

bool fileIdentity(const std::string& path, FileIdentity& identity) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    identity.device = static_cast<uint64_t>(st.st_dev);
    identity.inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool removeFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool removeEmptyFolder(const std::string& path) {
    return !path.empty() && ::rmdir(path.c_str()) == 0;
}

} // namespace platform
