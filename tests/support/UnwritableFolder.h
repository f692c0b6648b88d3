#pragma once
// Makes a folder unwritable for this process while the object lives: by
// its mode, and, for root (whom modes do not stop), with the file system's
// immutable flag. made() says whether the folder really refuses new files.
#include <string>

namespace testsupport {

class UnwritableFolder {
public:
    explicit UnwritableFolder(const std::string& path);
    ~UnwritableFolder();
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

    bool made() const { return made_; }

private:
    bool setImmutable(bool on);

    std::string path_;
    bool immutable_ = false;
    bool made_ = false;
};

} // namespace testsupport
