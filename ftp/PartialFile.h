#pragma once
// The file a download is written to until it is complete: created new
// beside the target under a name no file has, never through a link, and
// removed again only while it is still the file we created.
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

namespace ftp {

class PartialFile {
public:
    PartialFile() = default;
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Creates the partial file for localPath. False when none could be made.
    bool create(const std::string& localPath);
    // Opens a partial file made earlier, to write on at its end: only when
    // the name still holds that very file (same device and inode), a
    // regular file with no other name, and is no link. False otherwise,
    // leaving whatever is there untouched.
    bool reopen(const std::string& path, dev_t device, ino_t inode);
    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }
    // Bytes in the file now; -1 when it is not open.
    long long length() const;

    // Closes it; false when the last writes failed to reach the disk.
    bool close();
    // Moves it over localPath (a link there is replaced, its target kept).
    bool commit(const std::string& localPath);
    // Removes it, if it is still the file we created.
    void discard();
    // Closes it and leaves it where it is, to be reopened later.
    void keep();

private:
    void adopt(int fd, const std::string& path, const struct stat& info);

    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool done_ = false;
};

// The name a download of localPath tries first for its partial file.
std::string preferredPartialPath(const std::string& localPath);

// Removes the file at path only while it is the one with this device and
// inode (never what a link there points to). True when it was removed.
bool removeIfSameFile(const std::string& path, dev_t device, ino_t inode);

} // namespace ftp
