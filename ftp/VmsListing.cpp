// OpenVMS: "NAME.EXT;VERSION  used/allocated  DD-MMM-YYYY HH:MM:SS  [owner]
// (protection)", a long name alone on its line with the rest on the next.
// Folders are NAME.DIR files; sizes are in blocks of 512 bytes.
#include "ftp/ListingDates.h"
#include "ftp/ListingFormats.h"

namespace ftp::listing {

namespace {

constexpr int64_t kVmsBlock = 512;

// "README.TXT;12": the name and its version.
bool splitVersion(std::string_view field, std::string_view& name, std::string_view& version) {
    const std::size_t semicolon = field.rfind(';');
    if (semicolon == std::string_view::npos || semicolon == 0)
        return false;
    version = field.substr(semicolon);
    if (version.size() < 2 || version.size() > 6 || !allDigits(version.substr(1)))
        return false;
    name = field.substr(0, semicolon);
    return name.find('.') != std::string_view::npos && name.find('/') == std::string_view::npos &&
           name.find(';') == std::string_view::npos;
}

void setVmsName(std::string_view field, ListingEntry& entry, LineEntry& out) {
    std::string_view name, version;
    splitVersion(field, name, version);
    entry.attributes = kAttrNormal;
    if (name.size() > 4 && equalsNoCase(name.substr(name.size() - 4), ".DIR")) {
        name.remove_suffix(4);
        entry.attributes = kAttrDirectory;
    }
    entry.wireName = std::string(name);
    out.vmsVersioned = true;
    out.vmsVersion = version;
}

} // namespace

bool readVmsLine(const Fields& f, LineEntry& out, bool& nameOnly) {
    std::string_view name, version;
    if (f.size() == 0 || !splitVersion(f[0].text, name, version) || f[0].start != 0)
        return false;
    setVmsName(f[0].text, out.entry, out);
    nameOnly = f.size() == 1;
    if (!nameOnly) {
        // The rest may also be an error text instead of the attributes
        // ("%RMS-E-PRV, insufficient privilege"): the entry stays.
        Fields rest;
        for (std::size_t i = 1; i < f.size(); ++i)
            rest.items[rest.count++] = f[i];
        readVmsRest(rest, out);
    }
    return true;
}

bool readVmsRest(const Fields& f, LineEntry& out) {
    if (f.size() < 3)
        return false;
    std::string_view blocks = f[0].text;
    const std::size_t slash = blocks.find('/');
    if (slash != std::string_view::npos)
        blocks = blocks.substr(0, slash);
    const int64_t used = decimalNumber(blocks);
    RemoteTime time;
    if (used < 0 || used > (INT64_MAX / kVmsBlock) || !readNamedMonthDate(f[1].text, time) || !readClock(f[2].text, time))
        return false;
    settleMidnight(time);
    out.entry.time = time;
    out.entry.size = out.entry.attributes & kAttrDirectory ? 0 : used * kVmsBlock;
    return true;
}

} // namespace ftp::listing
