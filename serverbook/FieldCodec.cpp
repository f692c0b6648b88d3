#include "serverbook/FieldCodec.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/TextCodec.h"

namespace serverbook {
namespace {

// Double to integer without undefined behaviour for values out of range.
template <typename T>
T clampToInteger(double value) {
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

int64_t asInteger(const FieldValue& value, int64_t min, int64_t max) {
    if (const int64_t* i = std::get_if<int64_t>(&value))
        return *i;
    const double d = std::get<double>(value);
    if (std::isnan(d))
        return 0;
    if (d <= static_cast<double>(min))
        return min;
    if (d >= static_cast<double>(max))
        return max;
    return static_cast<int64_t>(d);
}

double asDouble(const FieldValue& value) {
    if (const int64_t* i = std::get_if<int64_t>(&value))
        return static_cast<double>(*i);
    return std::get<double>(value);
}

bool isNumber(const FieldValue& value) {
    return std::holds_alternative<int64_t>(value) || std::holds_alternative<double>(value);
}

std::string numberText(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string numberText(float value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

int encodeNumber(int type, const FieldValue& value, char* p) {
    switch (type) {
    case kTypeByte:
        p[0] = static_cast<char>(asInteger(value, 0, 255));
        return 0;
    case kTypeShort: {
        const int64_t v = asInteger(value, INT16_MIN, INT16_MAX);
        p[0] = static_cast<char>(v & 0xff);
        p[1] = static_cast<char>((v >> 8) & 0xff);
        return 0;
    }
    case kTypeInt:
    case kTypeSubroutine:
        writeInt32(p, static_cast<int32_t>(asInteger(value, INT32_MIN, INT32_MAX)));
        return 0;
    case kTypeLong:
        writeInt64(p, std::holds_alternative<int64_t>(value) ? std::get<int64_t>(value)
                                                              : clampToInteger<int64_t>(std::get<double>(value)));
        return 0;
    case kTypeFloat: {
        const float f = static_cast<float>(asDouble(value));
        int32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        writeInt32(p, bits);
        return 0;
    }
    case kTypeDouble:
    case kTypeDateTime:
        writeDouble(p, asDouble(value));
        return 0;
    default:
        return -72;
    }
}

} // namespace

void storeText(const std::string& bytes, int width, char* place) {
    const size_t n = bytes.size();
    if (n < static_cast<size_t>(width)) {
        std::memcpy(place, bytes.data(), n);
        place[n] = '\0';
    } else {
        std::memcpy(place, bytes.data(), width);
    }
}

int encodeValue(const FieldDescriptor& field, const FieldValue& value, char* record) {
    if (std::holds_alternative<std::monostate>(value))
        return 0;
    char* p = record + field.offset;
    if (field.type == kTypeText) {
        const std::string* text = std::get_if<std::string>(&value);
        if (!text)
            return -72;
        storeText(platform::utf8ToGb18030(*text), field.width, p);
        return 0;
    }
    if (field.type == kTypeBool) {
        const bool* flag = std::get_if<bool>(&value);
        if (!flag)
            return -72;
        p[0] = *flag ? 1 : 0;
        return 0;
    }
    if (!isNumber(value))
        return -72;
    return encodeNumber(field.type, value, p);
}

std::string decodeField(const FieldDescriptor& field, const char* value) {
    const char* p = value;
    switch (field.type) {
    case kTypeByte: return std::to_string(static_cast<unsigned char>(p[0]));
    case kTypeShort:
        return std::to_string(static_cast<int16_t>(static_cast<unsigned char>(p[0]) |
                                                   (static_cast<unsigned char>(p[1]) << 8)));
    case kTypeInt:
    case kTypeSubroutine: return std::to_string(readInt32(p));
    case kTypeLong: return std::to_string(readInt64(p));
    case kTypeFloat: {
        const int32_t bits = readInt32(p);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return numberText(f);
    }
    case kTypeDouble: return numberText(readDouble(p));
    case kTypeBool: return p[0] != 0 ? "true" : "false";
    case kTypeDateTime: return formatOleDate(readDouble(p));
    case kTypeText: {
        const void* nul = std::memchr(p, '\0', field.width);
        const size_t length = nul ? static_cast<const char*>(nul) - p : field.width;
        return platform::gb18030ToUtf8(std::string_view(p, length));
    }
    default: return {}; // memo and byte-array blocks are not read
    }
}

} // namespace serverbook
