#include "ftp/RemotePath.h"

std::string remotePrefix(const std::string& path) {
    if (!path.empty() && path.back() == '/')
        return path;
    return path + "/";
}

std::optional<std::string> remoteParent(const std::string& path) {
    if (path.size() == 1)
        return std::nullopt;
    std::string t = path;
    if (t.size() > 1 && t.back() == '/')
        t.pop_back();
    size_t slash = t.rfind('/');
    if (slash == std::string::npos)
        return std::nullopt;
    if (slash == 0)
        return std::string("/");
    return t.substr(0, slash);
}

std::string remoteChild(const std::string& directory, const std::string& name) {
    if (directory == "/")
        return "/" + name;
    return directory + "/" + name;
}

std::string listedDirectory(const std::string& path) {
    // The same directory a search for path/*.* lists.
    const std::string prefix = remotePrefix(path);
    return prefix.size() == 1 ? prefix : prefix.substr(0, prefix.size() - 1);
}
