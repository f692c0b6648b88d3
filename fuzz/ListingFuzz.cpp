// Listing bytes: Unix/DOS LIST or MLSD lines, then the names through the
// encoding detection the connection applies to them.
#include "fuzz/FuzzTargets.h"
#include "ftp/ListingParser.h"
#include "ftp/WireNames.h"

#include <algorithm>
#include <map>

namespace fuzz {

// First byte: bit 0 picks MLSD, bit 1 says the server announced UTF-8.
void listingInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    const bool mlsd = data[0] & 1;
    const bool utf8Announced = data[0] & 2;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const ftp::ListingDate today{2024, 2, 29};
    const ftp::ParsedListing parsed = ftp::readListing(bytes, mlsd, today);
    const std::vector<ftp::ListingEntry>& entries = parsed.entries;
    // Every line is an entry, a line that names none, or one counted as
    // unreadable; a VMS entry may take two lines.
    const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    FUZZ_CHECK(parsed.unreadableLines >= 0);
    FUZZ_CHECK(entries.size() + static_cast<std::size_t>(parsed.unreadableLines) <= lines);
    ftp::WireNames names;
    names.reset(utf8Announced);
    std::vector<std::string> wires;
    for (const ftp::ListingEntry& entry : entries) {
        FUZZ_CHECK(ftp::isPlainEntryName(entry.wireName));
        FUZZ_CHECK(entry.size >= 0);
        wires.push_back(entry.wireName);
    }
    const std::vector<ftp::ListedName> listed = names.namesOfListing("/dir", wires);
    FUZZ_CHECK(listed.size() == wires.size());
    std::map<std::string, std::string> bytesOfName;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const std::string& name = listed[i].name;
        FUZZ_CHECK(!name.empty());
        // Different bytes never read the same, and a listed name goes back
        // in the bytes it came in.
        auto [it, fresh] = bytesOfName.emplace(name, wires[i]);
        FUZZ_CHECK(fresh || it->second == wires[i]);
        FUZZ_CHECK(names.pathToWire("/dir/" + name) == "/dir/" + wires[i]);
    }
    // Path replies take the same route, separators kept.
    const std::string path = names.pathFromWire(bytes.substr(0, 4096));
    (void)names.pathToWire(path);
}

} // namespace fuzz
