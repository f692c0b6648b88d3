#include "serverbook/DbFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace serverbook {
namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// 1899-12-30, day 0 of OLE dates, counted from 1970-01-01.
const int64_t kOleEpochDays = daysFromCivil(1899, 12, 30);

} // namespace

bool isValidFieldType(int type) {
    return type >= kTypeByte && type <= kTypeMemo;
}

bool usesSideFile(int type) {
    return type == kTypeByteArray || type == kTypeMemo;
}

int fieldSize(int type, int width) {
    switch (type) {
    case kTypeByte:
    case kTypeBool: return 1;
    case kTypeShort: return 2;
    case kTypeLong:
    case kTypeDouble:
    case kTypeDateTime: return 8;
    case kTypeText: return width;
    default: return 4;
    }
}

int32_t readInt32(const char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return static_cast<int32_t>(v);
}

void writeInt32(char* p, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i, v >>= 8)
        p[i] = static_cast<char>(v & 0xff);
}

int64_t readInt64(const char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return static_cast<int64_t>(v);
}

void writeInt64(char* p, int64_t value) {
    uint64_t v = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i, v >>= 8)
        p[i] = static_cast<char>(v & 0xff);
}

double readDouble(const char* p) {
    const int64_t bits = readInt64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void writeDouble(char* p, double value) {
    int64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    writeInt64(p, bits);
}

std::string encodeFileStart(const Header& header, const std::vector<FieldDescriptor>& fields) {
    std::string bytes(kDescriptorsOffset + kDescriptorSize * fields.size(), '\0');
    char* p = bytes.data();
    std::memcpy(p, kMagic, 4);
    writeInt32(p + 4, header.version);
    writeDouble(p + 8, header.created);
    writeInt32(p + kCountOffset, header.count);
    writeInt32(p + kNextSerialOffset, header.nextSerial);
    writeInt32(p + kRecordSizeOffset, header.recordSize);
    writeInt32(p + kFieldCountOffset, static_cast<int32_t>(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) {
        char* d = p + kDescriptorsOffset + kDescriptorSize * i;
        const FieldDescriptor& f = fields[i];
        std::memcpy(d, f.nameBytes.data(), std::min<size_t>(f.nameBytes.size(), kMaxFieldNameLength));
        writeInt32(d + 20, f.type);
        writeInt32(d + 24, f.offset);
        writeInt32(d + 28, f.type == kTypeText ? f.width : 0);
    }
    return bytes;
}

int decodeHeader(std::string_view bytes, Header& header) {
    if (bytes.size() < static_cast<size_t>(kHeaderSize) || bytes.substr(0, 4) != std::string_view(kMagic, 4))
        return -22;
    const char* p = bytes.data();
    header.version = readInt32(p + 4);
    header.created = readDouble(p + 8);
    header.count = readInt32(p + kCountOffset);
    header.nextSerial = readInt32(p + kNextSerialOffset);
    header.recordSize = readInt32(p + kRecordSizeOffset);
    if (header.recordSize <= 0 || header.count < 0 || header.nextSerial < 1)
        return -22;
    if (header.version > kFormatVersion)
        return -23;
    return 0;
}

bool decodeDescriptor(std::string_view bytes, FieldDescriptor& field) {
    if (bytes.size() < static_cast<size_t>(kDescriptorSize))
        return false;
    const size_t nul = bytes.substr(0, kFieldNameBytes).find('\0');
    if (nul == std::string_view::npos)
        return false;
    const char* p = bytes.data();
    field.nameBytes = std::string(bytes.substr(0, nul));
    field.type = readInt32(p + 20);
    field.offset = readInt32(p + 24);
    field.width = readInt32(p + 28);
    if (field.offset < 0 || !isValidFieldType(field.type))
        return false;
    // The engine never writes wider text; refusing it keeps record buffers bounded.
    if (field.type == kTypeText && (field.width < 1 || field.width > kMaxTextWidth))
        return false;
    return true;
}

double oleDateNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int64_t days = daysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) - kOleEpochDays;
    const int seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return static_cast<double>(days) + seconds / 86400.0;
}

std::string formatOleDate(double date) {
    if (!std::isfinite(date) || std::fabs(date) > 3e6)
        return {};
    // Before day 0 the fraction still counts forward from midnight.
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    int64_t seconds = std::llround(fraction * 86400.0);
    int64_t days = static_cast<int64_t>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += date < 0 ? -1 : 1;
    }
    int64_t y;
    unsigned m, d;
    civilFromDays(days + kOleEpochDays, y, m, d);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m, d,
                  static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return text;
}

} // namespace serverbook
