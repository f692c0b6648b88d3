#include "sftp/WirePaths.h"

#include <vector>

namespace sftp {

std::string resolvePath(const std::string& current, const std::string& path) {
    if (path.empty())
        return current;
    if (path[0] == '/' || current.empty())
        return path;
    return current.back() == '/' ? current + path : current + "/" + path;
}

std::string normalizePath(const std::string& absolute) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= absolute.size()) {
        std::size_t slash = absolute.find('/', pos);
        if (slash == std::string::npos)
            slash = absolute.size();
        const std::string part = absolute.substr(pos, slash - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = slash + 1;
    }
    std::string path;
    for (const std::string& part : parts)
        path += "/" + part;
    return path.empty() ? "/" : path;
}

} // namespace sftp
