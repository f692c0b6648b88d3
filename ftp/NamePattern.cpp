#include "ftp/NamePattern.h"

#include <cctype>

namespace ftp {

namespace {

std::size_t characterLength(const std::string& text, std::size_t pos) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return pos + length <= text.size() ? length : text.size() - pos;
}

bool sameCharacter(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

} // namespace

SplitPattern splitPattern(const std::string& pattern) {
    std::string text = pattern;
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "*.*") == 0)
        text.erase(text.size() - 2);
    SplitPattern split;
    std::size_t slash = text.rfind('/');
    if (slash == std::string::npos) {
        split.mask = text;
    } else {
        split.directory = text.substr(0, slash);
        if (split.directory.empty())
            split.directory = "/";
        split.mask = text.substr(slash + 1);
    }
    if (split.mask.empty())
        split.mask = "*";
    return split;
}

bool matchesMask(const std::string& name, const std::string& mask) {
    // Iterative wildcard match with one back-tracking point per "*".
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && mask[m] == '?') {
            n += characterLength(name, n);
            ++m;
        } else if (m < mask.size() && sameCharacter(mask[m], name[n])) {
            ++n;
            ++m;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            starName += characterLength(name, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

int listMatching(const std::string& pattern, int filter,
                 const std::function<DirectoryListing(const std::string& directory)>& list,
                 const ListedArrays& out) {
    constexpr int kFilterBits = 0x37;
    if (filter != -1)
        filter &= kFilterBits;
    if (out.names) out.names->clear();
    if (out.attributes) out.attributes->clear();
    if (out.sizes) out.sizes->clear();
    if (out.times) out.times->clear();
    const SplitPattern split = splitPattern(pattern);
    int count = 0;
    for (RemoteEntry& entry : list(split.directory).entries) {
        if (!matchesMask(entry.name, split.mask))
            continue;
        bool keep = filter == -1 || (filter == 0 && entry.attributes == 0) || (filter & entry.attributes) != 0;
        if (!keep)
            continue;
        if (out.names) out.names->push_back(std::move(entry.name));
        if (out.attributes) out.attributes->push_back(entry.attributes);
        if (out.sizes) out.sizes->push_back(entry.size);
        if (out.times) out.times->push_back(entry.time);
        ++count;
    }
    return count;
}

} // namespace ftp
