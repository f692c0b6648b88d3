#include "platform/SystemPaths.h"

#include <unistd.h>

#include <climits>

namespace platform {
namespace {
std::string folderOverride;
}

void overrideExecutableFolder(const std::string& folder) {
    folderOverride = folder;
}

bool executableFolderOverridden() {
    return !folderOverride.empty();
}

std::string executableFolder() {
    if (!folderOverride.empty())
        return folderOverride;
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return currentFolder();
    std::string path(buffer, static_cast<size_t>(n));
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return currentFolder();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string currentFolder() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return std::string();
    return buffer;
}

} // namespace platform
