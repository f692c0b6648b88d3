#pragma once
// Search patterns of listDirectory: which directory to list and which names
// of it to keep. Matching is done here, so it does not depend on whether a
// server expands wildcards.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ftp/RemoteEntry.h"

namespace ftp {

struct SplitPattern {
    std::string directory;  // empty: the current directory
    std::string mask;       // last component; "*" when none was given
};

// "dir/*.*" is read as "dir/*"; "/pub/a?.txt" gives "/pub" and "a?.txt";
// "/x" gives "/" and "x".
SplitPattern splitPattern(const std::string& pattern);

// "*" any run of characters, "?" one character (a whole UTF-8 character),
// other characters compared without regard to ASCII case.
bool matchesMask(const std::string& name, const std::string& mask);

// The arrays listDirectory fills, each one optional.
struct ListedArrays {
    std::vector<std::string>* names = nullptr;
    std::vector<int>* attributes = nullptr;
    std::vector<int64_t>* sizes = nullptr;
    std::vector<RemoteTime>* times = nullptr;
};

// listDirectory over a listing function: clears the arrays asked for,
// lists the directory part of the pattern and keeps the entries whose name
// matches its last component and whose attributes pass the filter (-1 all;
// else its bits 0x37 are compared, 0 keeping entries without any bit).
// Returns the count kept.
int listMatching(const std::string& pattern, int filter,
                 const std::function<DirectoryListing(const std::string& directory)>& list,
                 const ListedArrays& out);

} // namespace ftp
