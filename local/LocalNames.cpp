#include "local/LocalNames.h"

#include "platform/TextCodec.h"

#include <cstdio>

namespace {

std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

} // namespace

std::string displayName(const std::string& bytes) {
    if (platform::isValidUtf8(bytes))
        return bytes;
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = sequenceLength(static_cast<unsigned char>(bytes[i]));
        if (length > 0 && i + length <= bytes.size() &&
            platform::isValidUtf8(std::string_view(bytes).substr(i, length))) {
            out.append(bytes, i, length);
            i += length;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[i]));
        out += escaped;
        ++i;
    }
    return out;
}
