// The two listing formats made for programs: MLSD facts and EPLF.
#include "ftp/ListingFormats.h"

#include <ctime>

namespace ftp::listing {

namespace {

// "YYYYMMDDHHMMSS[.sss]"
void readFactTime(std::string_view text, RemoteTime& time) {
    if (text.size() < 14 || !allDigits(text.substr(0, 14)))
        return;
    time.year = smallNumber(text.substr(0, 4));
    time.month = smallNumber(text.substr(4, 2));
    time.day = smallNumber(text.substr(6, 2));
    time.hour = smallNumber(text.substr(8, 2));
    time.minute = smallNumber(text.substr(10, 2));
    time.second = smallNumber(text.substr(12, 2));
}

struct Facts {
    bool directory = false;
    bool link = false;
    bool currentOrParent = false;
    bool hasPerm = false;
    std::string_view perm;
};

void applyFact(std::string_view name, std::string_view value, Facts& facts, ListingEntry& entry) {
    if (equalsNoCase(name, "type")) {
        facts.currentOrParent = equalsNoCase(value, "cdir") || equalsNoCase(value, "pdir");
        facts.directory = equalsNoCase(value, "dir");
        // "OS.unix=slink:/target", "OS.unix=symlink" and the like.
        if (startsWithNoCase(value, "os.unix=")) {
            const std::string_view kind = value.substr(8);
            facts.link = startsWithNoCase(kind, "slink") || startsWithNoCase(kind, "symlink") ||
                         startsWithNoCase(kind, "link");
        }
    } else if (equalsNoCase(name, "size") || equalsNoCase(name, "sizd")) {
        const int64_t size = decimalNumber(value);
        if (size >= 0)
            entry.size = size;
    } else if (equalsNoCase(name, "modify")) {
        readFactTime(value, entry.time);
    } else if (equalsNoCase(name, "perm")) {
        facts.perm = value;
        facts.hasPerm = true;
    }
}

bool permits(std::string_view perm, char right) {
    for (char c : perm)
        if (c == right || c == right - 'a' + 'A')
            return true;
    return false;
}

} // namespace

bool readMlsdLine(std::string_view line, LineEntry& out) {
    // "fact=value;fact=value; name": the facts end at the first blank, and
    // that one blank (a space, some servers send a tab) is no part of the
    // name, which may itself hold blanks and semicolons.
    ListingEntry& entry = out.entry;
    entry.size = -1;  // a file without a size fact: unknown, not empty
    Facts facts;
    std::size_t pos = 0;
    while (true) {
        if (pos >= line.size())
            return false;
        if (isBlank(line[pos]))
            break;
        const std::size_t end = line.find_first_of("; \t", pos);
        if (end == std::string_view::npos)
            return false;
        const std::string_view fact = line.substr(pos, end - pos);
        const std::size_t equals = fact.find('=');
        if (!fact.empty() && (equals == std::string_view::npos || equals == 0))
            return false;
        if (!fact.empty())
            applyFact(fact.substr(0, equals), fact.substr(equals + 1), facts, entry);
        pos = end;
        if (line[end] == ';')
            ++pos;
    }
    const std::string_view name = line.substr(pos + 1);
    if (name.empty())
        return false;
    out.currentOrParent = facts.currentOrParent;
    entry.wireName = std::string(name);
    entry.attributes = facts.directory ? kAttrDirectory : kAttrNormal;
    if (facts.link)
        entry.attributes |= kAttrLink;
    if (facts.directory)
        entry.size = 0;
    // Files need "w" (write), directories "c" (create inside) to be writable.
    if (facts.hasPerm && !permits(facts.perm, facts.directory ? 'c' : 'w'))
        entry.attributes |= kAttrReadOnly;
    return true;
}

bool readEplfLine(std::string_view line, LineEntry& out) {
    // "+i8388621.48594,m825718503,r,s280,\tdjb.html"
    if (line.size() < 3 || line[0] != '+')
        return false;
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab + 1 >= line.size())
        return false;
    ListingEntry& entry = out.entry;
    entry.attributes = kAttrNormal;
    entry.size = -1;  // a file without an "s" fact: unknown, not empty
    std::string_view facts = line.substr(1, tab - 1);
    while (!facts.empty()) {
        const std::size_t comma = facts.find(',');
        const std::string_view fact = facts.substr(0, comma);
        facts = comma == std::string_view::npos ? std::string_view() : facts.substr(comma + 1);
        if (fact == "/") {
            entry.attributes = kAttrDirectory;
        } else if (!fact.empty() && fact[0] == 's') {
            const int64_t size = decimalNumber(fact.substr(1));
            if (size >= 0)
                entry.size = size;
        } else if (!fact.empty() && fact[0] == 'm') {
            const int64_t seconds = decimalNumber(fact.substr(1));
            std::tm utc{};
            const std::time_t t = static_cast<std::time_t>(seconds);
            if (seconds >= 0 && ::gmtime_r(&t, &utc) != nullptr)
                entry.time = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
        }
    }
    if (entry.attributes & kAttrDirectory)
        entry.size = 0;
    entry.wireName = std::string(line.substr(tab + 1));
    return true;
}

} // namespace ftp::listing
