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

enum class HalfDay { None, Morning, Afternoon };

// Morning and afternoon as Windows writes them: English, Chinese (UTF-8,
// GBK, Big5), Japanese (UTF-8, Shift-JIS), Korean (UTF-8, EUC-KR).
struct HalfDayText {
    const char* text;
    HalfDay half;
};
const HalfDayText kHalfDays[] = {
    {"AM", HalfDay::Morning},
    {"PM", HalfDay::Afternoon},
    {"am", HalfDay::Morning},
    {"pm", HalfDay::Afternoon},
    {"\xE4\xB8\x8A\xE5\x8D\x88", HalfDay::Morning},
    {"\xE4\xB8\x8B\xE5\x8D\x88", HalfDay::Afternoon},
    {"\xC9\xCF\xCE\xE7", HalfDay::Morning},
    {"\xCF\xC2\xCE\xE7", HalfDay::Afternoon},
    {"\xA4\x57\xA4\xC8", HalfDay::Morning},
    {"\xA4\x55\xA4\xC8", HalfDay::Afternoon},
    {"\xE5\x8D\x88\xE5\x89\x8D", HalfDay::Morning},
    {"\xE5\x8D\x88\xE5\xBE\x8C", HalfDay::Afternoon},
    {"\x8C\xDF\x91\x4F", HalfDay::Morning},
    {"\x8C\xDF\x8C\xE3", HalfDay::Afternoon},
    {"\xEC\x98\xA4\xEC\xA0\x84", HalfDay::Morning},
    {"\xEC\x98\xA4\xED\x9B\x84", HalfDay::Afternoon},
    {"\xBF\xC0\xC0\xFC", HalfDay::Morning},
    {"\xBF\xC0\xC8\xC4", HalfDay::Afternoon},
};

HalfDay halfDayOf(std::string_view text) {
    for (const HalfDayText& h : kHalfDays)
        if (text == h.text)
            return h.half;
    return HalfDay::None;
}

// "07:27PM", "19:27", "10:00上午": the clock and a half-day mark after it.
bool readDosClock(std::string_view text, RemoteTime& time, HalfDay& half) {
    std::size_t end = 0;
    while (end < text.size() && (isDigit(text[end]) || text[end] == ':'))
        ++end;
    if (end < text.size()) {
        const HalfDay suffix = halfDayOf(text.substr(end));
        if (suffix == HalfDay::None)
            return false;
        half = suffix;
    }
    return readClock(text.substr(0, end), time);
}

bool applyHalfDay(HalfDay half, RemoteTime& time) {
    if (half == HalfDay::None)
        return true;
    if (time.hour < 1 || time.hour > 12)
        return false;
    time.hour = time.hour % 12 + (half == HalfDay::Afternoon ? 12 : 0);
    return true;
}

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
    if (!readDosClock(f[i].text, time, half))
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
