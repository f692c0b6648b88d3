#include "platform/ShortcutTarget.h"

#include "platform/LocalFiles.h"

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Shell-link files are small; a longer file is not one worth parsing.
constexpr std::size_t kMaxLinkBytes = 64 * 1024;
constexpr std::size_t kHeaderSize = 0x4C;
constexpr unsigned kHasIdList = 0x01;
constexpr unsigned kHasLinkInfo = 0x02;
constexpr unsigned kHasLocalBasePath = 0x01;

bool readU16(const std::string& b, std::size_t at, unsigned& out) {
    if (at + 2 > b.size())
        return false;
    out = static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
    return true;
}

bool readU32(const std::string& b, std::size_t at, unsigned& out) {
    unsigned lo = 0, hi = 0;
    if (!readU16(b, at, lo) || !readU16(b, at + 2, hi))
        return false;
    out = lo | hi << 16;
    return true;
}

// A NUL-terminated string that lies wholly inside [at, end).
std::string cString(const std::string& b, std::size_t at, std::size_t end) {
    if (at >= end || end > b.size())
        return {};
    std::size_t nul = b.find('\0', at);
    if (nul == std::string::npos || nul >= end)
        return {};
    return b.substr(at, nul - at);
}

} // namespace

std::string shellLinkTarget(const std::string& b) {
    unsigned headerSize = 0, flags = 0;
    if (!readU32(b, 0, headerSize) || headerSize != kHeaderSize || !readU32(b, 0x14, flags))
        return {};
    std::size_t at = kHeaderSize;
    if (flags & kHasIdList) {
        unsigned idListSize = 0;
        if (!readU16(b, at, idListSize))
            return {};
        at += 2 + idListSize;
    }
    if (!(flags & kHasLinkInfo))
        return {};
    unsigned infoSize = 0, infoFlags = 0, baseOffset = 0, suffixOffset = 0;
    if (!readU32(b, at, infoSize) || !readU32(b, at + 8, infoFlags) || !readU32(b, at + 16, baseOffset) ||
        !readU32(b, at + 24, suffixOffset))
        return {};
    if (!(infoFlags & kHasLocalBasePath) || infoSize > b.size() - std::min(at, b.size()))
        return {};
    const std::size_t end = at + infoSize;
    std::string base = cString(b, at + baseOffset, end);
    if (base.empty())
        return {};
    return base + cString(b, at + suffixOffset, end);
}

std::string shortcutTarget(const std::string& path) {
    if (platform::isSymlink(path)) {
        char buffer[4096];
        ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    // Only regular files: opening a FIFO would block.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string bytes(kMaxLinkBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return shellLinkTarget(bytes);
}
