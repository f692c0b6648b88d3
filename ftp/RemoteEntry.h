#pragma once
// One entry of a remote listing as the engine hands it out, and a whole
// listing with what the engine could say about its completeness.
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/FtpTypes.h"

struct RemoteEntry {
    // UTF-8, unique within its listing: two names that decode to the same
    // text, or bytes that decode to nothing, are shown escaped ("\xNN").
    std::string name;
    // The name a local copy gets: name itself, or the server's own bytes
    // when name had to escape them.
    std::string localName;
    // The server's bytes for the name when they are not the name itself.
    std::string wireName;
    int attributes = ftp::kAttrNormal;  // kAttrDirectory, kAttrLink, kAttrReadOnly
    int64_t size = 0;  // -1: the listing gave none (a file of MLSD or EPLF without a size fact)
    RemoteTime time;
    // A folder the listing named that the server would not confirm as a
    // real directory (listed with confirmFolders); marked a link as well.
    bool unconfirmedFolder = false;

    bool isDirectory() const { return (attributes & ftp::kAttrDirectory) != 0; }
    bool isLink() const { return (attributes & ftp::kAttrLink) != 0; }
    const std::string& wire() const { return wireName.empty() ? name : wireName; }
};

struct DirectoryListing {
    // False when the listing failed or did not arrive whole.
    bool complete = false;
    // The listing was cut because it held more entries or bytes than a
    // listing may.
    bool overLimit = false;
    std::vector<RemoteEntry> entries;
    // Lines of the listing that named no entry we could read.
    int unreadableLines = 0;
};
