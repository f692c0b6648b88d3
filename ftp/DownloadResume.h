#pragma once
// What one download knows for continuing it later, or continues now.
#include <cstdint>
#include <string>

namespace ftp {

struct DownloadResume {
    bool tracked = false;     // a break-off keeps the partial, with a record
    int64_t remoteSize = -1;  // SIZE at the start
    std::string remoteTime;   // MDTM at the start; empty without MDTM
    int64_t started = 0;      // when the partial was begun (seconds since 1970)
    int64_t offset = 0;       // > 0: continues a partial this long
};

} // namespace ftp
