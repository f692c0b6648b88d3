#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace platform {
namespace {

// Code page 936, what Chinese Windows writes, has the euro sign as the single
// byte 0x80, which GB18030 leaves undefined. It is read as "€" and "€" is
// written as 0x80, so files of Chinese Windows read back as they were
// written. GB18030's own two-byte euro sign (A2 E3, undefined in code page
// 936) still reads as "€", and is written back as 0x80 like every other.
constexpr std::string_view kEuroUtf8 = "\xE2\x82\xAC";
constexpr char kEuroByte = '\x80';

// One converter per thread and direction: iconv descriptors keep state and
// must not be shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from, bool byte80IsEuro = false)
        : cd_(iconv_open(to, from)), byte80IsEuro_(byte80IsEuro) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the whole input; on an invalid or incomplete sequence the
    // replacement is appended, one input byte is skipped and invalid is set.
    std::string convert(std::string_view in, std::string_view replacement, bool* invalid = nullptr) {
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            return out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.reserve(in.size() * 2);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst - buffer);
            if (rc == static_cast<size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                if (byte80IsEuro_ && static_cast<unsigned char>(*src) == 0x80) {
                    out.append(kEuroUtf8);
                } else {
                    out.append(replacement);
                    if (invalid)
                        *invalid = true;
                }
                ++src;
                --srcLeft;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        return out;
    }

private:
    iconv_t cd_;
    bool byte80IsEuro_;
};

Converter& toUtf8() {
    thread_local Converter c("UTF-8", "GB18030", true);
    return c;
}

Converter& toGb() {
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}

bool isAscii(std::string_view s) {
    for (unsigned char ch : s)
        if (ch >= 0x80)
            return false;
    return true;
}

// Decodes one UTF-8 character at s[i]; returns its length (0 when invalid).
int decodeUtf8(std::string_view s, size_t i, uint32_t& cp) {
    unsigned char c = s[i];
    int len;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (int k = 1; k < len; ++k) {
        unsigned char cc = s[i + k];
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint32_t lowerCodePoint(uint32_t cp) {
    if (cp >= 'A' && cp <= 'Z')
        return cp + 32;
    if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7))
        return cp + 32;
    if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2)
        return cp + 32;
    if (cp >= 0x410 && cp <= 0x42F)
        return cp + 32;
    if (cp >= 0x400 && cp <= 0x40F)
        return cp + 80;
    if (cp >= 0xFF21 && cp <= 0xFF3A)
        return cp + 32;
    return cp;
}

} // namespace

std::string gb18030ToUtf8(std::string_view bytes) {
    if (isAscii(bytes))
        return std::string(bytes);
    return toUtf8().convert(bytes, "\xEF\xBF\xBD");
}

bool decodeGb18030Exactly(std::string_view bytes, std::string& out) {
    bool invalid = false;
    out = isAscii(bytes) ? std::string(bytes) : toUtf8().convert(bytes, "", &invalid);
    return !invalid;
}

std::string utf8ToGb18030(std::string_view utf8) {
    if (isAscii(utf8))
        return std::string(utf8);
    // In valid UTF-8 these three bytes are always a whole euro sign.
    std::string out;
    for (;;) {
        const size_t euro = utf8.find(kEuroUtf8);
        out += toGb().convert(utf8.substr(0, euro), "?");
        if (euro == std::string_view::npos)
            return out;
        out += kEuroByte;
        utf8.remove_prefix(euro + kEuroUtf8.size());
    }
}

std::size_t gb18030Length(std::string_view utf8) {
    if (isAscii(utf8))
        return utf8.size();
    return utf8ToGb18030(utf8).size();
}

bool isValidUtf8(std::string_view bytes) {
    uint32_t cp;
    for (size_t i = 0; i < bytes.size();) {
        int len = decodeUtf8(bytes, i, cp);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string escapeInvalidUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes))
        return std::string(bytes);
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    uint32_t cp;
    for (size_t i = 0; i < bytes.size();) {
        int len = decodeUtf8(bytes, i, cp);
        if (len > 0) {
            out.append(bytes.substr(i, len));
            i += len;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[i++]);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}

std::string toHalfWidth(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    uint32_t cp;
    for (size_t i = 0; i < utf8.size();) {
        int len = decodeUtf8(utf8, i, cp);
        if (len == 0) {
            out += utf8[i++];
            continue;
        }
        if (cp >= 0xFF01 && cp <= 0xFF5E)
            out += static_cast<char>(cp - 0xFEE0);
        else if (cp == 0x3000)
            out += ' ';
        else
            out.append(utf8.substr(i, len));
        i += len;
    }
    return out;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::string foldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    uint32_t cp;
    for (size_t i = 0; i < utf8.size();) {
        int len = decodeUtf8(utf8, i, cp);
        if (len == 0) {
            out += utf8[i++];
            continue;
        }
        appendUtf8(out, lowerCodePoint(cp));
        i += len;
    }
    return out;
}

} // namespace platform
