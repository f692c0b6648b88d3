#include "ftp/NameRules.h"

#include "platform/LocalFiles.h"
#include "platform/ShortcutTarget.h"
#include "platform/TextCodec.h"

#include <string_view>

namespace {

std::string baseNameOf(const std::string& path) {
    auto slash = path.rfind(platform::kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool shortcutPointsToText(const std::string& path) {
    std::string target = shortcutTarget(path);
    return target.size() >= 3 && platform::asciiLower(target.substr(target.size() - 3)) == "txt";
}

} // namespace

bool looksLikeDirectoryName(const std::string& name) {
    auto dot = name.rfind('.');
    return dot == std::string::npos || name.size() - dot - 1 > 4;
}

int tableIconFor(const std::string& extension) {
    struct Fixed {
        std::string_view extension;
        int icon;
    };
    // Searched for every entry of a listing: a plain scan without building
    // a lower-case copy.
    static constexpr Fixed table[] = {
        {"txt", 7}, {"ini", 6}, {"gif", 1}, {"png", 1}, {"bmp", 2},   {"jpg", 3},
        {"dll", 8}, {"db", 8},  {"asp", 9}, {"rar", 10}, {"htm", 11}, {"html", 11}};
    for (const Fixed& fixed : table)
        if (platform::equalsIgnoringAsciiCase(extension, fixed.extension))
            return fixed.icon;
    return -1;
}

bool isDirectoryName(const std::string& name, bool remote, EntryKind known) {
    if (known != kKindUnknown)
        return known == kKindDirectory;
    if (!remote) {
        int attributes = platform::fileAttributes(name);
        if (attributes != -1)
            return (attributes & platform::kAttrDirectory) != 0;
    }
    return looksLikeDirectoryName(name);
}

int iconIndexFor(const std::string& nameOrPath, bool remote, EntryKind known, const OwnPictureIcon& ownPicture) {
    if (known == kKindDirectory)
        return kIconFolder;
    const std::string name = remote ? nameOrPath : baseNameOf(nameOrPath);
    if (known == kKindUnknown) {
        int attributes = platform::fileAttributes(nameOrPath);
        if (attributes != -1 && (attributes & platform::kAttrDirectory))
            return kIconFolder;
        if (attributes != -1 && !remote)
            known = kKindFile;
        else if (name.find('.') == std::string::npos)
            return kIconFolder;
    }
    auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return kIconOtherFile;
    const std::string extension = name.substr(dot + 1);
    int fixed = tableIconFor(extension);
    if (fixed >= 0)
        return fixed;
    if (endsWith(name, ".lnk") && shortcutPointsToText(nameOrPath))
        return kIconPicture;
    if (!remote && ownPicture) {
        int own = ownPicture(nameOrPath, extension);
        if (own >= 0)
            return own;
    }
    return extension == "exe" ? kIconExe : kIconOtherFile;
}
