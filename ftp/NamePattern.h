#pragma once
// Search patterns of listDirectory: which directory to list and which names
// of it to keep. Matching is done here, so it does not depend on whether a
// server expands wildcards.
#include <string>

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

} // namespace ftp
