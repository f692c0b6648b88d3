#include "ftp/DownloadResume.h"

#include <ctime>

#include <sys/types.h>

namespace ftp {

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A recorded partial can only be one PartialFile made for the target:
// beside it, named NAME.part or NAME.N.part.
bool isPartialOf(const std::string& partialPath, const std::string& targetPath) {
    return folderOf(partialPath) == folderOf(targetPath) && endsWith(partialPath, ".part");
}

} // namespace

bool takeResumeRecord(const ResumeKey& key, ResumeRecord& record) {
    return ResumeRecords(key.folder).take(key.server, key.remotePath, key.targetPath, record);
}

bool worthTracking(int64_t remoteSize, bool recorded) {
    return remoteSize >= kResumeWorthyBytes || (recorded && remoteSize > 0);
}

void continueRecordedPartial(const ResumeRecord* record, const std::string& targetPath, DownloadResume& resume,
                             PartialFile& partial) {
    resume.started = static_cast<int64_t>(std::time(nullptr));
    if (!record)
        return;
    const dev_t device = static_cast<dev_t>(record->device);
    const ino_t inode = static_cast<ino_t>(record->inode);
    const bool ours = isPartialOf(record->partialPath, targetPath);
    const bool unchanged = resume.tracked && record->remoteSize == resume.remoteSize &&
                           record->remoteTime == resume.remoteTime;
    if (ours && unchanged && partial.reopen(record->partialPath, device, inode)) {
        const long long length = partial.length();
        if (length > 0 && length <= resume.remoteSize) {
            resume.offset = length;
            resume.started = record->started;
            return;
        }
        partial.discard();
        return;
    }
    // Not continued: the old partial goes, while it is still ours.
    if (ours)
        removeIfSameFile(record->partialPath, device, inode);
}

void settleFailedDownload(const ResumeKey& key, const DownloadResume& resume, bool worthRetrying,
                          PartialFile& partial, long long length) {
    bool keep = resume.tracked && worthRetrying && length > 0 && length <= resume.remoteSize;
    if (keep) {
        ResumeRecord record;
        record.partialPath = partial.path();
        record.device = static_cast<uint64_t>(partial.device());
        record.inode = static_cast<uint64_t>(partial.inode());
        record.server = key.server;
        record.remotePath = key.remotePath;
        record.targetPath = key.targetPath;
        record.remoteSize = resume.remoteSize;
        record.remoteTime = resume.remoteTime;
        record.started = resume.started;
        keep = ResumeRecords(key.folder).add(record);
    }
    if (keep)
        partial.keep();
    else
        partial.discard();
}

} // namespace ftp
