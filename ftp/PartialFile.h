#pragma once
// The file a download is written to until it is complete: created new
// beside the target under a name no file has, never through a link, and
// removed again only while it is still the file we created.
#include <string>

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
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    // Closes it; false when the last writes failed to reach the disk.
    bool close();
    // Moves it over localPath (a link there is replaced, its target kept).
    bool commit(const std::string& localPath);
    // Removes it, if it is still the file we created.
    void discard();

private:
    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool done_ = false;
};

// The name a download of localPath tries first for its partial file.
std::string preferredPartialPath(const std::string& localPath);

} // namespace ftp
