#include "serverbook/DbPath.h"

#include <filesystem>

#include "platform/LocalFiles.h"

namespace serverbook {
namespace {

// Position of the extension's dot in the last path element, or npos.
size_t extensionDot(const std::string& path) {
    const size_t separator = path.rfind(platform::kPathSeparator);
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return std::string::npos;
    return dot;
}

} // namespace

std::string withDatabaseExtension(const std::string& path) {
    const size_t dot = extensionDot(path);
    if (dot == std::string::npos)
        return path + ".EDB";
    if (dot + 1 == path.size())
        return path + "EDB";
    return path;
}

std::string sideFilePath(const std::string& databasePath) {
    const size_t dot = extensionDot(databasePath);
    if (dot == std::string::npos)
        return databasePath + ".EDT";
    return databasePath.substr(0, dot + 1) + "EDT";
}

std::string fullPathOf(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec)
        return path;
    return absolute.lexically_normal().string();
}

} // namespace serverbook
