// Listings of small real-time systems: VxWorks and OS-9.
#include "ftp/ListingDates.h"
#include "ftp/ListingFormats.h"

namespace ftp::listing {

namespace {

// OS-9 dates are "YY/MM/DD" and times "HHMM".
bool readOs9Date(std::string_view date, std::string_view clock, RemoteTime& time) {
    if (date.size() != 8 || date[2] != '/' || date[5] != '/' || clock.size() != 4 || !allDigits(clock))
        return false;
    const int year = smallNumber(date.substr(0, 2));
    const int month = smallNumber(date.substr(3, 2));
    const int day = smallNumber(date.substr(6, 2));
    const int hour = smallNumber(clock.substr(0, 2));
    const int minute = smallNumber(clock.substr(2, 2));
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59)
        return false;
    time = {fullYear(year, 2), month, day, hour, minute, 0};
    return true;
}

bool isOs9Owner(std::string_view text) {
    const std::size_t dot = text.find('.');
    return dot != std::string_view::npos && dot > 0 && allDigits(text.substr(0, dot)) &&
           allDigits(text.substr(dot + 1));
}

} // namespace

bool readVxWorksLine(std::string_view line, const Fields& f, LineEntry& out) {
    // "    41         FEB-24-2014  12:00:00   readme.txt",
    // "   512         JAN-01-2000  00:00:00   subdir          <DIR>"
    RemoteTime time;
    if (f.size() < 4 || !allDigits(f[0].text) || !readNamedMonthDate(f[1].text, time) || !readClock(f[2].text, time))
        return false;
    settleMidnight(time);
    std::string_view rest = line.substr(f[2].end());
    bool folder = false;
    const std::string_view trimmed = trimEnd(rest);
    constexpr std::string_view kFolderMark = "<DIR>";
    if (trimmed.size() > kFolderMark.size() && trimmed.substr(trimmed.size() - kFolderMark.size()) == kFolderMark) {
        const std::string_view before = trimmed.substr(0, trimmed.size() - kFolderMark.size());
        if (!before.empty() && isBlank(before.back()) && !trimEnd(before).empty()) {
            folder = true;
            rest = trimEnd(before);
        }
    }
    out.entry.time = time;
    out.entry.attributes = folder ? kAttrDirectory : kAttrNormal;
    out.entry.size = folder ? 0 : decimalNumber(f[0].text);
    setPaddedName(out, Padding::VxWorks, rest, 0);
    return out.entry.size >= 0;
}

bool readOs9Line(std::string_view line, const Fields& f, LineEntry& out) {
    // "  0.0    23/03/20 1000  d-ewrewr       A0       160 CMDS"
    RemoteTime time;
    if (f.size() < 7 || !isOs9Owner(f[0].text) || !readOs9Date(f[1].text, f[2].text, time))
        return false;
    const std::string_view attributes = f[3].text;
    if (attributes.find_first_not_of("dsewr-") != std::string_view::npos || hexNumber(f[4].text) < 0 ||
        !allDigits(f[5].text))
        return false;
    const bool folder = attributes[0] == 'd';
    out.entry.time = time;
    out.entry.attributes = folder ? kAttrDirectory : kAttrNormal;
    out.entry.size = folder ? 0 : decimalNumber(f[5].text);
    out.entry.wireName = std::string(line.substr(f[5].end() + 1));
    return out.entry.size >= 0;
}

} // namespace ftp::listing
