#include "transfer/TransferPaths.h"

#include "platform/LocalFiles.h"
#include "platform/TextCodec.h"

std::string lastPathPart(const std::string& path) {
    size_t slash = path.rfind(platform::kPathSeparator);
    if (slash == std::string::npos)
        return std::string();
    return path.substr(slash + 1);
}

std::string localPrefix(const std::string& folder) {
    if (!folder.empty() && folder.back() == platform::kPathSeparator)
        return folder;
    return folder + platform::kPathSeparator;
}

bool isSafeLocalName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (unsigned char c : name)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool foldersListHolds(const std::string& list, const std::string& path) {
    return platform::foldCase(list).find(platform::foldCase("," + path + ",")) != std::string::npos;
}
