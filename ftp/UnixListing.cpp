// "ls -l" lines in all their forms (localized and ISO dates, numeric
// permissions, sizes with units, no date at all), numeric listings with
// Unix times, the Connect:Enterprise mailbox lines that look like them,
// and NetWare's variant.
#include "ftp/ListingDates.h"
#include "ftp/ListingFormats.h"

namespace ftp::listing {

namespace {

enum class Mode { None, Letters, Octal, Mailbox };

bool allOf(std::string_view text, std::string_view allowed) {
    for (char c : text)
        if (allowed.find(c) == std::string_view::npos)
            return false;
    return true;
}

// The file type bits of an octal mode as stat() gives it ("100644",
// "40755"); 0 when the mode has only permission bits ("644", "4755").
int fileTypeOf(std::string_view octal) {
    int64_t value = 0;
    for (char c : octal)
        value = value * 8 + (c - '0');
    return static_cast<int>(value >> 12);
}

bool validFileType(std::string_view octal) {
    switch (fileTypeOf(octal)) {
    case 0:     // permissions alone
    case 001:   // FIFO
    case 002:   // character device
    case 004:   // directory
    case 006:   // block device
    case 010:   // regular file
    case 012:   // symbolic link
    case 014:   // socket
        return true;
    default:
        return false;
    }
}

Mode modeOf(std::string_view field) {
    if (field.size() >= 10 && field.size() <= 11 && std::string_view("-dlbcpsDn").find(field[0]) != std::string_view::npos &&
        allOf(field.substr(1, 9), "rwxsStTlL-") && (field.size() == 10 || allOf(field.substr(10), "+.@*")))
        return Mode::Letters;
    // Connect:Enterprise: "-C--E-----FTP", flags in capitals.
    if (field.size() >= 10 && field[0] == '-' && allOf(field.substr(1, 9), "ABCDEFGHIJKLMNOPQRSTUVWXYZ-") &&
        field.find_first_not_of('-') != std::string_view::npos)
        return Mode::Mailbox;
    if (field.size() >= 3 && field.size() <= 7 && allOf(field, "01234567") && validFileType(field))
        return Mode::Octal;
    return Mode::None;
}

// The size just before the date: plain, with group separators, with a
// unit ("33.5k"), or the digits at the end of an owner or group it ran
// into ("ftpusers1048576").
int64_t sizeBeforeDate(std::string_view field) {
    int64_t size = groupedNumber(field);
    if (size < 0)
        size = sizeWithUnit(field);
    if (size >= 0)
        return size;
    std::size_t digits = field.size();
    while (digits > 0 && isDigit(field[digits - 1]))
        --digits;
    if (digits == 0 || digits == field.size())
        return -1;
    return decimalNumber(field.substr(digits));
}

void setType(std::string_view mode, Mode kind, ListingEntry& entry) {
    entry.attributes = kAttrNormal;
    if (kind == Mode::Letters) {
        if (mode[0] == 'd')
            entry.attributes = kAttrDirectory;
        else if (mode[0] == 'l')
            entry.attributes |= kAttrLink;
        else if (mode[0] == 'b' || mode[0] == 'c')
            entry.size = 0;  // device numbers, not a size
        if (mode[2] != 'w')
            entry.attributes |= kAttrReadOnly;
    } else if (kind == Mode::Octal) {
        const int type = fileTypeOf(mode);
        if (type == 004)
            entry.attributes = kAttrDirectory;
        else if (type == 012)
            entry.attributes |= kAttrLink;
        else if (type == 002 || type == 006)
            entry.size = 0;
        if (((mode[mode.size() - 3] - '0') & 2) == 0)
            entry.attributes |= kAttrReadOnly;
    }
}

// The name from start on, a link's target cut off. With padding the name
// keeps the blanks before it, to be settled against the whole listing.
void setName(std::string_view line, std::size_t start, Padding padding, LineEntry& out) {
    std::string_view name = line.substr(start);
    if (out.entry.attributes & kAttrLink) {
        const std::size_t arrow = name.find(" -> ", leadingBlanks(name));
        if (arrow != std::string_view::npos && arrow > leadingBlanks(name))
            name = name.substr(0, arrow);
    }
    if (padding == Padding::None)
        out.entry.wireName = std::string(name);
    else
        setPaddedName(out, padding, name, 0);
}

// "2004.07.15": servers that write such dates without a time pad them to
// the column of the names, so the blanks after them are padding.
bool isDottedDate(std::string_view field) {
    RemoteTime date;
    return field.find('.') != std::string_view::npos && readNumericDate(field, date);
}

struct SizeAndDate {
    int64_t size = 0;
    RemoteTime time;
    std::size_t last = 0;  // the date's last field
};

// The first date group from field `from` on that follows a size and is
// followed by a name.
bool findSizeAndDate(std::string_view line, const Fields& f, std::size_t from, const ListingDate& today,
                     SizeAndDate& found) {
    for (std::size_t first = from; first + 1 < f.size(); ++first) {
        const std::size_t last = readDateGroup(f, first, today, found.time);
        if (last == 0)
            continue;
        found.size = sizeBeforeDate(f[first - 1].text);
        found.last = last;
        if (found.size >= 0 && f[last].end() + 1 < line.size())
            return true;
    }
    return false;
}

bool looksLikeClock(std::string_view field) {
    return field.size() >= 4 && isDigit(field[0]) && field.find(':') != std::string_view::npos;
}

// "100644 1000 1000 1234 1710000000 name": mode, owner and group ids,
// size and a Unix time. Returns where the name starts, 0 when the line is
// not of this form.
std::size_t readTimestamped(std::string_view line, const Fields& f, ListingEntry& entry) {
    if (f.size() < 6)
        return 0;
    for (std::size_t i = 1; i <= 4; ++i)
        if (!allDigits(f[i].text))
            return 0;
    entry.size = decimalNumber(f[3].text);
    const std::size_t nameStart = f[4].end() + 1;
    return entry.size >= 0 && readUnixTime(f[4].text, entry.time) && nameStart < line.size() ? nameStart : 0;
}

// "-rw-r--r-- 1 owner group 1234 name": servers that give no date.
// Returns where the name starts, 0 when the line is not of this form.
std::size_t readUndated(std::string_view line, const Fields& f, ListingEntry& entry) {
    std::size_t sizeIndex = 0;
    const bool linkCount = f.size() >= 4 && allDigits(f[1].text);
    const std::size_t withGroup = linkCount ? 4 : 3;
    if (f.size() > withGroup + 1 && allDigits(f[withGroup].text))
        sizeIndex = withGroup;
    else if (f.size() > withGroup && allDigits(f[withGroup - 1].text))
        sizeIndex = withGroup - 1;
    else
        return 0;
    // A date we cannot read is no part of the name.
    for (std::size_t i = sizeIndex + 1; i < f.size() && i <= sizeIndex + 3; ++i)
        if (looksLikeClock(f[i].text))
            return 0;
    const std::size_t nameStart = f[sizeIndex].end() + 1;
    entry.size = decimalNumber(f[sizeIndex].text);
    return nameStart < line.size() && entry.size >= 0 ? nameStart : 0;
}

} // namespace

bool readUnixLine(std::string_view line, const Fields& f, const ListingDate& today, LineEntry& out) {
    if (f.size() < 3)
        return false;
    const Mode mode = modeOf(f[0].text);
    if (mode == Mode::None)
        return false;
    ListingEntry& entry = out.entry;
    SizeAndDate found;
    std::size_t nameStart = 0;
    Padding padding = Padding::None;
    // A date wins over the numeric form: a name never begins with a date.
    if (findSizeAndDate(line, f, 2, today, found)) {
        entry.size = found.size;
        entry.time = found.time;
        nameStart = f[found.last].end() + 1;
        if (isDottedDate(f[found.last].text)) {
            padding = Padding::DottedDate;
            nameStart = f[found.last].end();
        }
    } else if (mode == Mode::Letters) {
        nameStart = readUndated(line, f, entry);
    } else if (mode == Mode::Octal) {
        nameStart = readTimestamped(line, f, entry);
    }
    if (nameStart == 0)
        return false;
    setType(f[0].text, mode, entry);
    setName(line, nameStart, padding, out);
    return true;
}

bool readNetWareLine(std::string_view line, const Fields& f, const ListingDate& today, LineEntry& out) {
    // "d [RWCEAFMS] owner  512  Jan 16 18:53    name"
    if (f.size() < 7 || f[0].text.size() != 1 || (f[0].text[0] != 'd' && f[0].text[0] != '-'))
        return false;
    const std::string_view rights = f[1].text;
    SizeAndDate found;
    if (rights.size() < 3 || rights.front() != '[' || rights.back() != ']' || !findSizeAndDate(line, f, 4, today, found))
        return false;
    const bool folder = f[0].text[0] == 'd';
    out.entry.size = folder ? 0 : found.size;
    out.entry.time = found.time;
    out.entry.attributes = folder ? kAttrDirectory : kAttrNormal;
    setPaddedName(out, Padding::NetWare, line.substr(f[found.last].end()), 0);
    return true;
}

} // namespace ftp::listing
