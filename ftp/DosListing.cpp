// Lines of Windows servers ("dir" style, in any date order and with
// 12-hour times in several languages) and of OS/2.
#include "ftp/ListingDates.h"
#include "ftp/ListingFormats.h"

namespace ftp::listing {

namespace {

// The width of the "<DIR>" column: names of folders start this many blanks
// after it.
constexpr std::size_t kDosFolderPadding = 10;
constexpr std::string_view kFolderMark = "<DIR>";
// OS/2 puts two blanks between the time and the name.
constexpr std::size_t kOs2Padding = 2;

// "name [target]" as links are shown.
std::string_view withoutLinkTarget(std::string_view name) {
    const std::size_t open = name.rfind(" [");
    if (open != std::string_view::npos && open > 0 && name.back() == ']')
        return name.substr(0, open);
    return name;
}

} // namespace

bool readDosLine(std::string_view line, const Fields& f, LineEntry& out) {
    if (f.size() < 4)
        return false;
    RemoteTime time;
    if (!readNumericDate(f[0].text, time))
        return false;
    std::size_t i = 1;
    HalfDay half = halfDayOf(f[i].text);
    if (half != HalfDay::None)
        ++i;
    if (!readHalfDayClock(f[i].text, time, half))
        return false;
    ++i;
    if (i < f.size() && half == HalfDay::None && (half = halfDayOf(f[i].text)) != HalfDay::None)
        ++i;
    if (!applyHalfDay(half, time) || i + 1 >= f.size())
        return false;
    settleMidnight(time);

    ListingEntry& entry = out.entry;
    entry.time = time;
    const std::string_view kind = f[i].text;
    const bool folder = kind == kFolderMark || kind == "<JUNCTION>" || kind == "<SYMLINKD>";
    if (folder) {
        entry.attributes = kAttrDirectory;
        if (kind != kFolderMark)
            entry.attributes |= kAttrLink;
        std::string_view rest = line.substr(f[i].end());
        setPaddedName(out, Padding::DosFolder, kind == kFolderMark ? rest : withoutLinkTarget(rest), kDosFolderPadding);
        out.paddingShift = kind.size() - kFolderMark.size();
        out.nameColumn = f[i].end();
        return true;
    }
    entry.attributes = kAttrNormal;
    if (kind == "<SYMLINK>") {
        entry.attributes |= kAttrLink;
        entry.wireName = std::string(withoutLinkTarget(line.substr(f[i].end() + 1)));
        return true;
    }
    entry.size = groupedNumber(kind);
    if (entry.size < 0)
        return false;
    // Sizes are right-aligned and one blank comes before the name.
    out.dosFile = true;
    out.nameColumn = f[i].end() + 1;
    entry.wireName = std::string(line.substr(out.nameColumn));
    return true;
}

bool readOs2Line(std::string_view line, const Fields& f, LineEntry& out) {
    // "     345  A          03-09-98   12:42  ftp.log"
    if (f.size() < 4 || !allDigits(f[0].text))
        return false;
    bool folder = false;
    std::size_t i = 1;
    while (i < f.size() && i <= 2) {
        const std::string_view text = f[i].text;
        if (text == "DIR")
            folder = true;
        else if (text.size() > 4 || text.find_first_not_of("ADHRS") != std::string_view::npos)
            break;
        ++i;
    }
    RemoteTime time;
    if (i + 2 >= f.size() || !readNumericDate(f[i].text, time) || !readClock(f[i + 1].text, time))
        return false;
    settleMidnight(time);
    out.entry.size = folder ? 0 : decimalNumber(f[0].text);
    if (out.entry.size < 0)
        return false;
    out.entry.time = time;
    out.entry.attributes = folder ? kAttrDirectory : kAttrNormal;
    setPaddedName(out, Padding::Os2, line.substr(f[i + 1].end()), kOs2Padding);
    return true;
}

} // namespace ftp::listing
