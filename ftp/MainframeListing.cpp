// Listings of IBM and Tandem systems: MVS datasets and PDS members, z/VM
// minidisks and SFS folders, AS/400 objects, HP NonStop (Guardian) files.
// None of them gives sizes in bytes except where noted; those entries
// have size 0.
#include "ftp/ListingDates.h"
#include "ftp/ListingFormats.h"

#include <algorithm>

namespace ftp::listing {

namespace {

// The AS/400 object type is a 10-character column followed by one blank.
constexpr std::size_t kAs400TypeWidth = 10;

// "'USER.CNTL'" as some servers quote fully qualified names.
std::string_view withoutQuotes(std::string_view name) {
    if (name.size() > 2 && name.front() == '\'' && name.back() == '\'')
        return name.substr(1, name.size() - 2);
    return name;
}

bool isDsorg(std::string_view text) {
    return text == "PS" || text == "PO" || text == "PO-E" || text == "DA" || text == "VS" || text == "IS" ||
           text == "??";
}

// "VV.MM" of ISPF statistics.
bool isVersion(std::string_view text) {
    return text.size() == 5 && isDigit(text[0]) && isDigit(text[1]) && text[2] == '.' && isDigit(text[3]) &&
           isDigit(text[4]);
}

bool isMvsDate(std::string_view text) {
    RemoteTime time;
    return text.size() == 10 && text[4] == '/' && readNumericDate(text, time);
}

bool isAs400Type(std::string_view text) {
    if (text.size() < 3 || text.size() > kAs400TypeWidth || text[0] != '*')
        return false;
    for (char c : text.substr(1))
        if (!(c >= 'A' && c <= 'Z') && !isDigit(c))
            return false;
    return true;
}

int countOrZero(std::string_view text) {
    const int value = smallNumber(text);
    return value < 0 ? 0 : value;
}

} // namespace

bool isMvsDatasetHeader(const Fields& f) {
    return f.size() >= 3 && f[0].text == "Volume" && f[1].text == "Unit" && f[f.size() - 1].text == "Dsname";
}

bool isPdsMemberHeader(const Fields& f) {
    return f.size() >= 3 && f[0].text == "Name" && (f[1].text == "VV.MM" || f[1].text == "Size");
}

bool readMvsDatasetLine(const Fields& f, bool afterHeader, LineEntry& out) {
    // "WYOSPT 3420   2023/03/20  1   15  FB      80  3120  PO  USER.CNTL",
    // after the heading also "Migrated   NAME", "Pseudo Directory   NAME".
    const bool full = f.size() >= 10 && isMvsDate(f[2].text) && isDsorg(f[f.size() - 2].text);
    if (!full && !(afterHeader && f.size() >= 2))
        return false;
    ListingEntry& entry = out.entry;
    const std::string_view dsorg = f[f.size() - 2].text;
    const bool pseudo = f[0].text == "Pseudo" && f[1].text == "Directory";
    entry.attributes = pseudo || (full && (dsorg == "PO" || dsorg == "PO-E")) ? kAttrDirectory : kAttrNormal;
    if (full)
        readNumericDate(f[2].text, entry.time);
    entry.wireName = std::string(withoutQuotes(f[f.size() - 1].text));
    return true;
}

bool readPdsMemberLine(const Fields& f, bool afterHeader, LineEntry& out) {
    ListingEntry& entry = out.entry;
    entry.attributes = kAttrNormal;
    if (f.size() >= 5 && isVersion(f[1].text) && isMvsDate(f[2].text) && isMvsDate(f[3].text)) {
        // "MEMBER1  01.01 2023/03/01 2023/03/20 10:00  10  10  0 USERID"
        readNumericDate(f[3].text, entry.time);
        readClock(f[4].text, entry.time);
    } else if (afterHeader && f.size() >= 3 && f[1].text.size() == 6 && hexNumber(f[1].text) >= 0 &&
               hexNumber(f[2].text) >= 0) {
        // Load modules: "PROGRAM1  000078   00000F ...", the size in hex.
        entry.size = hexNumber(f[1].text);
    } else if (!(afterHeader && f.size() == 1)) {
        return false;  // members without statistics are a name alone
    }
    entry.wireName = std::string(f[0].text);
    return true;
}

bool readZvmLine(const Fields& f, LineEntry& out) {
    // "PROFILE  EXEC     V         80         13          1 2023-03-20 10:00:00 USR191"
    if (f.size() < 8)
        return false;
    const std::string_view recfm = f[2].text;
    if (recfm != "F" && recfm != "V" && recfm != "-")
        return false;
    for (std::size_t i = 3; i <= 5; ++i)
        if (f[i].text != "-" && !allDigits(f[i].text))
            return false;
    RemoteTime time;
    if (!readNumericDate(f[6].text, time) || !readClock(f[7].text, time))
        return false;
    ListingEntry& entry = out.entry;
    entry.time = time;
    const bool folder = f[1].text == "DIR";
    entry.attributes = folder ? kAttrDirectory : kAttrNormal;
    entry.wireName = std::string(f[0].text);
    if (!folder) {
        entry.wireName += '.';
        entry.wireName += f[1].text;
        // Records times their length: exact for fixed records, the most a
        // file of variable ones holds.
        entry.size = static_cast<int64_t>(countOrZero(f[4].text)) * countOrZero(f[3].text);
    }
    return true;
}

bool readAs400Line(std::string_view line, const Fields& f, LineEntry& out) {
    // "PEDRO   135168 10/07/98 14:46:43 *STMF      README.TXT"
    if (f.size() < 3)
        return false;
    std::size_t t = 1;
    while (t < f.size() && t <= 4 && !isAs400Type(f[t].text))
        ++t;
    if (t >= f.size() - 1 || t > 4)
        return false;
    ListingEntry& entry = out.entry;
    if (t >= 3) {
        RemoteTime time;
        if (!readNumericDate(f[t - 2].text, time) || !readClock(f[t - 1].text, time))
            return false;
        entry.time = time;
        if (allDigits(f[t - 3].text))
            entry.size = decimalNumber(f[t - 3].text);
    } else if (t == 2 && !allDigits(f[1].text)) {
        return false;
    }
    std::string_view rest = line.substr(f[t].end());
    const std::size_t blanks = leadingBlanks(rest);
    const std::size_t columnPadding = kAs400TypeWidth + 1 - f[t].text.size();
    std::string_view name = rest.substr(std::min(blanks, std::max<std::size_t>(columnPadding, 1)));
    const std::string_view type = f[t].text;
    bool folder = type == "*DIR" || type == "*LIB" || type == "*FLR" || type == "*DDIR";
    if (!name.empty() && name.back() == '/') {
        folder = true;
        name.remove_suffix(1);
    }
    // Members and files inside libraries are listed with their path.
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos)
        name = name.substr(slash + 1);
    if (name.empty())
        return false;
    entry.attributes = folder ? kAttrDirectory : kAttrNormal;
    if (type == "*SYMLNK")
        entry.attributes |= kAttrLink;
    if (folder)
        entry.size = 0;
    entry.wireName = std::string(name);
    return true;
}

bool readNonStopLine(const Fields& f, LineEntry& out) {
    // "ALTERLOG        101          14 20-Mar-23 10:00:00  255,255 \"nnnn\"",
    // an "O" after the code when the file is open.
    if (f.size() < 5 || !allDigits(f[1].text))
        return false;
    std::size_t i = 2;
    if (f[i].text == "O")
        ++i;
    RemoteTime time;
    if (i + 2 >= f.size() || !allDigits(f[i].text) || !readNamedMonthDate(f[i + 1].text, time) ||
        !readClock(f[i + 2].text, time))
        return false;
    out.entry.size = decimalNumber(f[i].text);
    out.entry.time = time;
    out.entry.attributes = kAttrNormal;
    out.entry.wireName = std::string(f[0].text);
    return out.entry.size >= 0;
}

} // namespace ftp::listing
