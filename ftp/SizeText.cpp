#include "ftp/SizeText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Below this many thousandths "%.13g" writes every digit of the rounded
// value in plain notation, so the digits can be written directly; listing
// 10,000 files spent more time in printf than in parsing the listing.
constexpr double kPlainLimit = 1e13;

std::string thousandthsText(long long thousandths) {
    char buffer[32];
    char* end = std::to_chars(buffer, buffer + sizeof buffer, thousandths / 1000).ptr;
    int fraction = static_cast<int>(thousandths % 1000);
    if (fraction != 0) {
        *end++ = '.';
        for (int divisor = 100; fraction != 0; divisor /= 10) {
            *end++ = static_cast<char>('0' + fraction / divisor);
            fraction %= divisor;
        }
    }
    return std::string(buffer, end);
}

} // namespace

std::string sizeTextKb(int64_t bytes) {
    double kb = static_cast<double>(bytes) / 1024.0;
    double magnitude = std::fabs(kb) + 1e-12;
    double thousandths = std::floor(magnitude * 1000.0 + 0.5);
    if (kb >= 0 && thousandths < kPlainLimit)
        return thousandthsText(static_cast<long long>(thousandths));
    double rounded = thousandths / 1000.0;
    if (kb < 0)
        rounded = -rounded;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.13g", rounded);
    return buffer;
}

double leadingNumber(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value))
        return 0;
    return value;
}
