#pragma once
// Parsing of directory listings: the LIST lines of Unix, Windows, VMS,
// mainframe and other servers, and the facts of MLSD. Names stay in the
// bytes the server sent.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpTypes.h"

namespace ftp {

struct ListingEntry {
    std::string wireName;  // bytes as the server sent them
    int attributes = kAttrNormal;
    int64_t size = 0;  // -1: the listing gave none (MLSD, EPLF)
    RemoteTime time;
};

// Today's date, for Unix lines that give a time instead of a year.
struct ListingDate {
    int year = 1970, month = 1, day = 1;
};
ListingDate todayForListings();

struct ParsedListing {
    std::vector<ListingEntry> entries;
    // Lines that named an entry we could not read (blank lines, totals,
    // headings and the folder's own MLSD entries are not counted).
    int unreadableLines = 0;
};

// Every entry of a listing in server order. Formats whose entries span
// lines or whose names are padded to a column are read as a whole. Lines
// that cannot be read and names that are not plain names ("." "..", with
// "/" or control characters) are left out; the count of such lines, "."
// and ".." aside, is kept.
ParsedListing readListing(const std::string& data, bool mlsd, const ListingDate& today);
// The entries alone.
std::vector<ListingEntry> parseListing(const std::string& data, bool mlsd, const ListingDate& today);

// A name that can be used as one path component here.
bool isPlainEntryName(std::string_view name);

} // namespace ftp
