#include "serverbook/FieldName.h"

#include <cstdint>

namespace serverbook {
namespace {

// Decodes the code point at i and advances i; false on malformed UTF-8.
bool nextCodePoint(std::string_view s, size_t& i, uint32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    int extra = 0;
    if (lead < 0x80) {
        cp = lead;
    } else if ((lead & 0xe0) == 0xc0) {
        cp = lead & 0x1f;
        extra = 1;
    } else if ((lead & 0xf0) == 0xe0) {
        cp = lead & 0x0f;
        extra = 2;
    } else if ((lead & 0xf8) == 0xf0) {
        cp = lead & 0x07;
        extra = 3;
    } else {
        return false;
    }
    if (i + extra >= s.size() && extra > 0)
        return false;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xc0) != 0x80)
            return false;
        cp = (cp << 6) | (c & 0x3f);
    }
    i += extra + 1;
    return true;
}

bool isLetter(uint32_t cp) {
    return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || (cp >= 0xff21 && cp <= 0xff3a) ||
           (cp >= 0xff41 && cp <= 0xff5a);
}

bool isDigit(uint32_t cp) {
    return (cp >= '0' && cp <= '9') || (cp >= 0xff10 && cp <= 0xff19);
}

bool isChinese(uint32_t cp) {
    return (cp >= 0x4e00 && cp <= 0x9fff) || (cp >= 0x3400 && cp <= 0x4dbf) || (cp >= 0xf900 && cp <= 0xfaff) ||
           (cp >= 0x20000 && cp <= 0x2ffff) || cp == 0x3007;
}

} // namespace

bool isFieldIdentifier(std::string_view utf8) {
    if (utf8.empty())
        return false;
    size_t i = 0;
    bool first = true;
    while (i < utf8.size()) {
        uint32_t cp = 0;
        if (!nextCodePoint(utf8, i, cp))
            return false;
        const bool ok = isLetter(cp) || isChinese(cp) || (!first && isDigit(cp));
        if (!ok)
            return false;
        first = false;
    }
    return true;
}

} // namespace serverbook
