// "ls -l" lines in all their forms (localized and ISO dates, numeric
// permissions, no date at all), the Connect:Enterprise mailbox lines that
// look like them, and NetWare's variant.
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

Mode modeOf(std::string_view field) {
    if (field.size() >= 10 && field.size() <= 11 && std::string_view("-dlbcpsDn").find(field[0]) != std::string_view::npos &&
        allOf(field.substr(1, 9), "rwxsStTlL-") && (field.size() == 10 || allOf(field.substr(10), "+.@*")))
        return Mode::Letters;
    // Connect:Enterprise: "-C--E-----FTP", flags in capitals.
    if (field.size() >= 10 && field[0] == '-' && allOf(field.substr(1, 9), "ABCDEFGHIJKLMNOPQRSTUVWXYZ-") &&
        field.find_first_not_of('-') != std::string_view::npos)
        return Mode::Mailbox;
    if ((field.size() == 3 || field.size() == 4 || field.size() == 6) && allOf(field, "01234567"))
        return Mode::Octal;
    return Mode::None;
}

// The size just before the date: plain, with group separators, or the
// digits at the end of an owner or group it ran into ("ftpusers1048576").
int64_t sizeBeforeDate(std::string_view field) {
    int64_t size = groupedNumber(field);
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
        // Six digits carry the file type as stat() gives it.
        if (mode.size() == 6 && mode.substr(0, 2) == "04")
            entry.attributes = kAttrDirectory;
        else if (mode.size() == 6 && mode.substr(0, 2) == "12")
            entry.attributes |= kAttrLink;
        if (((mode[mode.size() - 3] - '0') & 2) == 0)
            entry.attributes |= kAttrReadOnly;
    }
}

void setName(std::string_view line, std::size_t start, ListingEntry& entry) {
    std::string_view name = line.substr(start);
    if (entry.attributes & kAttrLink) {
        const std::size_t arrow = name.find(" -> ");
        if (arrow != std::string_view::npos && arrow > 0)
            name = name.substr(0, arrow);
    }
    entry.wireName = std::string(name);
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
    if (findSizeAndDate(line, f, 2, today, found)) {
        entry.size = found.size;
        entry.time = found.time;
        nameStart = f[found.last].end() + 1;
    } else if (mode == Mode::Letters) {
        nameStart = readUndated(line, f, entry);
    }
    if (nameStart == 0)
        return false;
    setType(f[0].text, mode, entry);
    setName(line, nameStart, entry);
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
