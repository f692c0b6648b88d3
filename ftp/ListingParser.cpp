#include "ftp/ListingParser.h"

#include "ftp/ListingFormats.h"

#include <algorithm>
#include <ctime>
#include <unordered_set>

namespace ftp {

namespace {

using namespace listing;

enum class LineKind { Entry, NotAnEntry, Unreadable };

// What earlier lines of a listing said about the lines after them.
struct ListingState {
    bool mvsDatasets = false;  // after the MVS dataset heading
    bool pdsMembers = false;   // after a PDS member heading
};

bool onlyDashes(std::string_view line) {
    bool dash = false;
    for (char c : line) {
        if (c == '-')
            dash = true;
        else if (!isBlank(c))
            return false;
    }
    return dash;
}

// Totals, headings and rulers: lines that belong to a listing but name no
// entry. Headings that change how later lines read are noted in state.
bool isNotAnEntry(std::string_view line, const Fields& f, ListingState& state) {
    const std::string_view first = f[0].text;
    const std::string_view second = f.size() > 1 ? f[1].text : std::string_view();
    if (equalsNoCase(first, "total") && (f.size() == 1 || allDigits(second) || second == "of"))
        return true;
    // "total" in the listing's language ("合计 24", "insgesamt 24").
    if (f.size() == 2 && allDigits(second) && first.find_first_of("0123456789./;") == std::string_view::npos)
        return true;
    if (first == "Grand" && equalsNoCase(second, "total"))
        return true;
    if (first == "Directory" && f.size() >= 2)
        return true;
    // The heading and totals of a Windows "dir".
    if ((first == "Volume" && (second == "in" || second == "Serial")) || second == "File(s)" || second == "Dir(s)")
        return true;
    if (onlyDashes(line))
        return true;
    if (isMvsDatasetHeader(f)) {
        state.mvsDatasets = true;
        return true;
    }
    if (isPdsMemberHeader(f)) {
        state.pdsMembers = true;
        return true;
    }
    return (first == "File" && second == "Code") || (first == "size" && second == "date") ||
           (first == "Owner" && second == "Last");
}

// One LIST line through the readers of every format, the most common
// first.
LineKind readOneLine(std::string_view line, const ListingDate& today, ListingState& state, LineEntry& out,
                     bool& vmsNameOnly) {
    const Fields f = splitFields(line);
    if (f.size() == 0)
        return LineKind::NotAnEntry;
    auto attempt = [&out](bool read) {
        if (!read)
            out = LineEntry{};
        return read;
    };
    if (line[0] == '+' && attempt(readEplfLine(line, out)))
        return LineKind::Entry;
    if (attempt(readUnixLine(line, f, today, out)))
        return LineKind::Entry;
    if (isNotAnEntry(line, f, state))
        return LineKind::NotAnEntry;
    const bool read =
        attempt(readDosLine(line, f, out)) || attempt(readNetWareLine(line, f, today, out)) ||
        attempt(readVmsLine(f, out, vmsNameOnly)) || (state.pdsMembers && attempt(readPdsMemberLine(f, true, out))) ||
        (state.mvsDatasets && attempt(readMvsDatasetLine(f, true, out))) || attempt(readAs400Line(line, f, out)) ||
        attempt(readZvmLine(f, out)) || attempt(readMvsDatasetLine(f, false, out)) ||
        attempt(readPdsMemberLine(f, false, out)) || attempt(readNonStopLine(f, out)) ||
        attempt(readOs2Line(line, f, out)) || attempt(readVxWorksLine(line, f, out)) ||
        attempt(readOs9Line(line, f, out));
    return read ? LineKind::Entry : LineKind::Unreadable;
}

constexpr std::size_t kPaddingKinds = 6;

// How many blanks before the name are padding, for the padded formats.
struct PaddingWidths {
    std::size_t fewest[kPaddingKinds];
    // The column where DOS file names start, when all file lines agree:
    // folder names start there too.
    std::size_t dosFileColumn = 0;
    bool dosColumnAgrees = true;

    PaddingWidths() { std::fill(fewest, fewest + kPaddingKinds, std::string_view::npos); }

    void learn(const LineEntry& line) {
        if (line.padding != Padding::None) {
            std::size_t& f = fewest[static_cast<std::size_t>(line.padding)];
            f = std::min(f, leadingBlanks(line.paddedName) + line.paddingShift);
        }
        if (line.dosFile) {
            if (dosFileColumn == 0)
                dosFileColumn = line.nameColumn;
            else if (line.nameColumn != dosFileColumn)
                dosColumnAgrees = false;
        }
    }

    std::size_t paddingOf(const LineEntry& line) const {
        const std::size_t blanks = leadingBlanks(line.paddedName);
        if (line.padding == Padding::DosFolder && dosFileColumn > 0 && dosColumnAgrees &&
            dosFileColumn > line.nameColumn && dosFileColumn - line.nameColumn <= blanks)
            return dosFileColumn - line.nameColumn;
        std::size_t padding = fewest[static_cast<std::size_t>(line.padding)];
        if (line.maxPadding > 0)
            padding = std::min(padding, line.maxPadding);
        padding = padding > line.paddingShift ? padding - line.paddingShift : 0;
        // At least one blank always separates the name.
        return std::min(blanks, std::max<std::size_t>(padding, 1));
    }
};

// Names that depend on the other lines: padded names, and VMS files
// listed in several versions (the newest, listed first, keeps the plain
// name; older ones keep their ";version").
void settleNames(std::vector<LineEntry>& lines) {
    PaddingWidths widths;
    bool versions = false;
    for (const LineEntry& line : lines) {
        widths.learn(line);
        versions = versions || line.vmsVersioned;
    }
    for (LineEntry& line : lines)
        if (line.padding != Padding::None)
            line.entry.wireName = std::string(line.paddedName.substr(widths.paddingOf(line)));
    if (!versions)
        return;
    std::unordered_set<std::string> seen;
    for (LineEntry& line : lines)
        if (line.vmsVersioned && !seen.insert(line.entry.wireName).second)
            line.entry.wireName += line.vmsVersion;
}

std::string_view withoutCarriageReturn(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// "." and "..", also as a padded name would read them.
bool isCurrentOrParent(const std::string& name) {
    const std::string_view text = trimEnd(std::string_view(name).substr(leadingBlanks(name)));
    return text == "." || text == "..";
}

} // namespace

void listing::setPaddedName(LineEntry& out, Padding padding, std::string_view blanksAndName, std::size_t maxPadding) {
    out.padding = padding;
    out.paddedName = blanksAndName;
    out.maxPadding = maxPadding;
}

ListingDate todayForListings() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

ParsedListing readListing(const std::string& data, bool mlsd, const ListingDate& today) {
    ParsedListing result;
    std::vector<LineEntry> lines;
    // About one entry per line of that length; a huge listing grows on.
    lines.reserve(std::min<std::size_t>(data.size() / 48, 1u << 16));
    ListingState state;
    LineEntry pending;  // a VMS name whose attributes are on the next line
    bool hasPending = false;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t lf = data.find('\n', pos);
        const std::size_t end = lf == std::string::npos ? data.size() : lf;
        const std::string_view line = withoutCarriageReturn(std::string_view(data.data() + pos, end - pos));
        pos = end + 1;
        if (hasPending) {
            hasPending = false;
            // The rest of a VMS entry, however far it is indented.
            if (readVmsRest(splitFields(line), pending)) {
                lines.push_back(std::move(pending));
                continue;
            }
            lines.push_back(std::move(pending));
        }
        if (trimEnd(line).empty())
            continue;
        LineEntry entry;
        if (mlsd) {
            if (!readMlsdLine(line, entry))
                ++result.unreadableLines;
            else if (!entry.currentOrParent)
                lines.push_back(std::move(entry));
            continue;
        }
        bool vmsNameOnly = false;
        const LineKind kind = readOneLine(line, today, state, entry, vmsNameOnly);
        if (kind == LineKind::Unreadable)
            ++result.unreadableLines;
        else if (kind == LineKind::Entry && vmsNameOnly)
            pending = std::move(entry), hasPending = true;
        else if (kind == LineKind::Entry)
            lines.push_back(std::move(entry));
    }
    if (hasPending)
        lines.push_back(std::move(pending));

    settleNames(lines);
    result.entries.reserve(lines.size());
    for (LineEntry& line : lines) {
        if (isCurrentOrParent(line.entry.wireName))
            continue;
        if (isPlainEntryName(line.entry.wireName))
            result.entries.push_back(std::move(line.entry));
        else
            ++result.unreadableLines;
    }
    return result;
}

std::vector<ListingEntry> parseListing(const std::string& data, bool mlsd, const ListingDate& today) {
    return readListing(data, mlsd, today).entries;
}

bool isPlainEntryName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7f)
            return false;
    }
    return true;
}

} // namespace ftp
