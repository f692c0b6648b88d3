// Listing bytes: Unix/DOS LIST or MLSD lines, then the names through the
// encoding detection the connection applies to them.
#include "fuzz/FuzzTargets.h"
#include "ftp/ListingParser.h"
#include "ftp/WireNames.h"

namespace fuzz {

// First byte: bit 0 picks MLSD, bit 1 says the server announced UTF-8.
void listingInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    const bool mlsd = data[0] & 1;
    const bool utf8Announced = data[0] & 2;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const ftp::ListingDate today{2024, 2, 29};
    const std::vector<ftp::ListingEntry> entries = ftp::parseListing(bytes, mlsd, today);
    ftp::WireNames names;
    names.reset(utf8Announced);
    for (const ftp::ListingEntry& entry : entries) {
        FUZZ_CHECK(ftp::isPlainEntryName(entry.wireName));
        FUZZ_CHECK(entry.size >= 0);
        const std::string name = names.fromWire(entry.wireName);
        FUZZ_CHECK(!name.empty());
        // A name from a listing goes back in the bytes it came in.
        FUZZ_CHECK(names.pathToWire(name) == entry.wireName);
        FUZZ_CHECK(names.pathToWire("/dir/" + name) == "/dir/" + entry.wireName);
    }
    // Path replies take the same route, separators kept.
    const std::string path = names.pathFromWire(bytes.substr(0, 4096));
    (void)names.pathToWire(path);
}

} // namespace fuzz
