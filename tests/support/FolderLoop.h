#pragma once
// Two folders that each show the other inside them, as bind mounts do:
// base/x holds in-x.txt and y, which is base/y; base/y holds in-y.txt and
// x, which is base/x. So base/x/y/x is base/x again. Needs the right to
// mount (root); made() says whether it worked. The mounts go with the
// object, before the folder is removed.
#include "tests/support/TempFolder.h"

#include <string>

namespace testsupport {

class FolderLoop {
public:
    explicit FolderLoop(const TempFolder& base);
    ~FolderLoop();
    FolderLoop(const FolderLoop&) = delete;
    FolderLoop& operator=(const FolderLoop&) = delete;

    bool made() const { return made_; }

private:
    std::string innerY_;  // base/x/y
    std::string innerX_;  // base/y/x
    bool mountedX_ = false;
    bool mountedY_ = false;
    bool made_ = false;
};

} // namespace testsupport
