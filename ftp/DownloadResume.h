#pragma once
// What one download knows for continuing it later, or continues now, and
// the rules every engine follows for it: a partial is continued only when
// the resume records name it as ours, it is still the very file written,
// and the remote file has the size and time it had when the partial was
// begun. Anything else starts over, and a partial of anyone else is never
// touched.
//
// An engine's download, with a resume folder set:
//   takeResumeRecord (when the file may be large), learn the remote size
//   and time, resume.tracked = worthTracking(...), continueRecordedPartial;
//   then transfer from resume.offset, and after a failure
//   settleFailedDownload.
#include <cstdint>
#include <string>

#include "ftp/PartialFile.h"
#include "ftp/ResumeRecords.h"

namespace ftp {

// Downloads at least this large (or of unknown size) are prepared for
// being continued.
constexpr int64_t kResumeWorthyBytes = int64_t{1} << 20;

struct DownloadResume {
    bool tracked = false;     // a break-off keeps the partial, with a record
    int64_t remoteSize = -1;  // at the start
    std::string remoteTime;   // at the start, as the protocol tells it; empty when it does not
    int64_t started = 0;      // when the partial was begun (seconds since 1970)
    int64_t offset = 0;       // > 0: continues a partial this long
};

// Which download a record is of, and where the records are.
struct ResumeKey {
    std::string folder;      // the records' folder; empty: nothing is resumed
    std::string server;      // "host:port:user"
    std::string remotePath;  // the server's own bytes
    std::string targetPath;  // the local file
};

// Takes the record of this download out of the store; false when there is
// none (or no folder).
bool takeResumeRecord(const ResumeKey& key, ResumeRecord& record);

// Whether a download of a file this large keeps its partial when it breaks
// off: large files, and any file that already had a record.
bool worthTracking(int64_t remoteSize, bool recorded);

// With resume.tracked, remoteSize and remoteTime of the file as it is now:
// continues the recorded partial (record, when there was one) when it is
// ours and unchanged, reopening it in partial with resume.offset at its
// length; otherwise the old partial is removed while it is still ours and
// partial stays closed. Sets resume.started.
void continueRecordedPartial(const ResumeRecord* record, const std::string& targetPath, DownloadResume& resume,
                             PartialFile& partial);

// A download that failed, with length bytes in its partial: the partial
// stays, recorded as ours, when the failure is worth another try and the
// partial can be continued; else it is removed.
void settleFailedDownload(const ResumeKey& key, const DownloadResume& resume, bool worthRetrying,
                          PartialFile& partial, long long length);

} // namespace ftp
