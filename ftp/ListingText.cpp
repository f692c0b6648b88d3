#include "ftp/ListingText.h"

#include <cstdint>

namespace ftp::listing {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int hexValue(char c) {
    if (isDigit(c))
        return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

} // namespace

Fields splitFields(std::string_view line) {
    Fields fields;
    std::size_t pos = 0;
    while (fields.count < Fields::kCapacity) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos >= line.size())
            break;
        const std::size_t start = pos;
        while (pos < line.size() && !isBlank(line[pos]))
            ++pos;
        fields.items[fields.count++] = {line.substr(start, pos - start), start};
    }
    return fields;
}

bool allDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!isDigit(c))
            return false;
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

int64_t decimalNumber(std::string_view text) {
    if (text.empty() || text.size() > 18 || !allDigits(text))
        return -1;
    int64_t value = 0;
    for (char c : text)
        value = value * 10 + (c - '0');
    return value;
}

int64_t groupedNumber(std::string_view text) {
    if (allDigits(text))
        return decimalNumber(text);
    if (text.empty() || (text[0] != ',' && text[0] != '.' && !isDigit(text[0])))
        return -1;
    const char separator = text.find(',') != std::string_view::npos ? ',' : '.';
    // Groups after the first are exactly three digits.
    std::size_t first = text.find(separator);
    if (first == 0 || first > 3)
        return -1;
    int64_t value = 0;
    int digits = 0;
    std::size_t sinceSeparator = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == separator) {
            if (i > first && sinceSeparator != 3)
                return -1;
            sinceSeparator = 0;
            continue;
        }
        if (!isDigit(c) || ++digits > 18)
            return -1;
        value = value * 10 + (c - '0');
        ++sinceSeparator;
    }
    return sinceSeparator == 3 ? value : -1;
}

int64_t sizeWithUnit(std::string_view text) {
    static constexpr std::string_view kUnits = "bkmgtp";  // powers of 1024
    // The unit, and "B" or "iB" after it ("KB", "MiB").
    std::size_t end = text.size();
    if (end > 2 && lowerAscii(text[end - 1]) == 'b' && text[end - 2] == 'i')
        end -= 2;
    else if (end > 1 && lowerAscii(text[end - 1]) == 'b' && !isDigit(text[end - 2]))
        end -= 1;
    if (end < 2)
        return -1;
    const std::size_t power = kUnits.find(lowerAscii(text[end - 1]));
    if (power == std::string_view::npos || (power == 0 && end != text.size()))
        return -1;
    const std::string_view number = text.substr(0, end - 1);
    const std::size_t point = number.find_first_of(".,");
    const std::string_view whole = number.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : number.substr(point + 1);
    if (!allDigits(whole) || whole.size() > 12 || (point != std::string_view::npos && !allDigits(fraction)) ||
        fraction.size() > 3)
        return -1;
    const int64_t unit = int64_t{1} << (10 * power);
    int64_t scale = 1;
    for (std::size_t i = 0; i < fraction.size(); ++i)
        scale *= 10;
    // Three digits of fraction times a unit of 2^50 stays within 2^60.
    const int64_t fractionBytes = fraction.empty() ? 0 : (decimalNumber(fraction) * unit + scale / 2) / scale;
    const int64_t wholeValue = decimalNumber(whole);
    if (wholeValue > (INT64_MAX - fractionBytes) / unit)
        return -1;
    return wholeValue * unit + fractionBytes;
}

int64_t hexNumber(std::string_view text) {
    if (text.empty() || text.size() > 15)
        return -1;
    int64_t value = 0;
    for (char c : text) {
        const int digit = hexValue(c);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

int smallNumber(std::string_view text) {
    if (text.size() > 9)
        return -1;
    return static_cast<int>(decimalNumber(text));
}

std::size_t leadingBlanks(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isBlank(text[n]))
        ++n;
    return n;
}

std::string_view trimEnd(std::string_view text) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace ftp::listing
