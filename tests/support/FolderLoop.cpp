#include "tests/support/FolderLoop.h"

#include <sys/mount.h>

namespace testsupport {

FolderLoop::FolderLoop(const TempFolder& base) : innerY_(base.file("x/y")), innerX_(base.file("y/x")) {
    base.write("x/in-x.txt", "x");
    base.write("y/in-y.txt", "y");
    base.makeFolder("x/y");
    base.makeFolder("y/x");
    // base/x first appears at base/y/x; then base/y with that mount inside
    // it appears at base/x/y, so base/x/y/x leads back to base/x.
    mountedX_ = ::mount(base.file("x").c_str(), innerX_.c_str(), nullptr, MS_BIND, nullptr) == 0;
    mountedY_ = mountedX_ && ::mount(base.file("y").c_str(), innerY_.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
    made_ = mountedX_ && mountedY_;
}

FolderLoop::~FolderLoop() {
    if (mountedY_)
        ::umount2(innerY_.c_str(), MNT_DETACH);
    if (mountedX_)
        ::umount2(innerX_.c_str(), MNT_DETACH);
}

} // namespace testsupport
