#pragma once
// Small readers shared by the listing formats: blank-separated fields of a
// line and the numbers in them. Nothing here allocates.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ftp::listing {

// One blank-separated field: its text and where it starts in the line.
struct Field {
    std::string_view text;
    std::size_t start = 0;
    std::size_t end() const { return start + text.size(); }
};

// The first fields of a line (blank = space or tab). Fields past the
// capacity are not read; count says how many were.
struct Fields {
    static constexpr std::size_t kCapacity = 14;
    Field items[kCapacity];
    std::size_t count = 0;

    const Field& operator[](std::size_t i) const { return items[i]; }
    std::size_t size() const { return count; }
};
Fields splitFields(std::string_view line);

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool allDigits(std::string_view text);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
bool equalsNoCase(std::string_view a, std::string_view b);

// A decimal number of at most 18 digits; -1 when text is not one.
int64_t decimalNumber(std::string_view text);
// A decimal number written with "," or "." between groups of three
// ("1,234,567"), or plainly; -1 otherwise.
int64_t groupedNumber(std::string_view text);
// A size written with a unit as "ls -h" and some servers write it:
// "33.5k", "2M", "1,5G", "4.0KiB" (units of 1024 bytes; a decimal
// fraction of up to three digits), as the nearest byte count; -1 when
// text is not one.
int64_t sizeWithUnit(std::string_view text);
// A hexadecimal number of at most 15 digits; -1 otherwise.
int64_t hexNumber(std::string_view text);
// A small decimal number (at most 9 digits); -1 otherwise.
int smallNumber(std::string_view text);

// The number of blanks at the start of text.
std::size_t leadingBlanks(std::string_view text);
// text without the blanks at its end.
std::string_view trimEnd(std::string_view text);

} // namespace ftp::listing
