// Continuing transfers that broke off: the partial files of downloads that
// may be continued, and uploads that go on from what the server kept.
#include "ftp/FtpClient.h"

#include "ftp/AbortSignal.h"
#include "ftp/ControlConnection.h"
#include "ftp/DownloadResume.h"
#include "ftp/KnownCertificates.h"
#include "ftp/PartialFile.h"

#include <sys/stat.h>

namespace {

constexpr int kDefaultFtpPort = 21;
// "YYYYMMDDHHMMSS", maybe with a fraction after it.
constexpr std::size_t kMdtmDigits = 14;

bool isMdtmTime(const std::string& text) {
    if (text.size() < kMdtmDigits || text.size() > 32)
        return false;
    for (std::size_t i = 0; i < kMdtmDigits; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

} // namespace

void FtpClient::setResumeFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    resumeFolder_ = folder;
}

std::string FtpClient::resumeFolder() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return resumeFolder_;
}

// Which download the resume records would name: "host:port:user" of the
// connection, the remote path and the target.
ftp::ResumeKey FtpClient::resumeKeyLocked(const std::string& wire, const std::string& localPath) const {
    ftp::ResumeKey key{resumeFolder(), {}, wire, localPath};
    if (target_) {
        const int port = target_->port == 0 ? kDefaultFtpPort : target_->port;
        key.server = ftp::serverKey(target_->address, port) + ":" + (target_->user.empty() ? "anonymous" : target_->user);
    }
    return key;
}

// The text of the MDTM reply; empty when the server gave no time.
std::string FtpClient::askTimeLocked(const std::string& wire) {
    ftp::FtpReply reply;
    if (!control_->command("MDTM " + wire, reply, active_.replyMs) || reply.code != 213)
        return {};
    std::string text = reply.text();
    text.erase(text.find_last_not_of(' ') + 1);
    return isMdtmTime(text) ? text : std::string();
}

// Before a binary download: learns what a later resume must find again
// (SIZE and MDTM: two more round trips, only for a file that may be
// large), and continues the recorded partial when the file is as it was.
void FtpClient::prepareResumeLocked(const std::string& wire, const std::string& localPath, int64_t expectedSize,
                                    ftp::PartialFile& partial, ftp::DownloadResume& resume) {
    const ftp::ResumeKey key = resumeKeyLocked(wire, localPath);
    if (key.folder.empty())
        return;
    ftp::ResumeRecord record;
    const bool recorded = ftp::takeResumeRecord(key, record);
    if (!recorded && expectedSize >= 0 && expectedSize < ftp::kResumeWorthyBytes)
        return;
    resume.remoteSize = remoteSizeLocked(wire);
    resume.tracked = ftp::worthTracking(resume.remoteSize, recorded);
    if (resume.tracked && features_->mdtm)
        resume.remoteTime = askTimeLocked(wire);
    ftp::continueRecordedPartial(recorded ? &record : nullptr, localPath, resume, partial);
}

// Where a retried upload may go on: the remote file's size, when it is no
// more than the failed attempt sent and no more than the local file.
int64_t FtpClient::uploadOffsetLocked(const std::string& wire, int fd, int64_t resumeLimit, int64_t& localSize) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return 0;
    localSize = static_cast<int64_t>(info.st_size);
    const int64_t remoteSize = remoteSizeLocked(wire);
    return remoteSize > 0 && remoteSize <= resumeLimit && remoteSize <= localSize ? remoteSize : 0;
}

// Sends the rest from offset: REST and STOR; APPE when the server refuses
// that before any data; the whole file when it refuses APPE too, or when
// the result does not have the local file's size.
bool FtpClient::continueUploadLocked(int fd, const std::string& wire, int64_t offset, int64_t localSize) {
    if (offset == localSize) {
        transferStart_ = offset;  // every byte is there already
        return true;
    }
    // Refused at once, with the connection still good (a 425 or 426 is
    // trouble with the data connection, not a refusal).
    auto refusedAtOnce = [&](bool restRefused) {
        const int code = control_->lastReply().code;
        return restRefused || (transferred_.load() == 0 && control_->isOpen() && !abort_->raised() && code >= 450 &&
                               code != 452 && code != 552);
    };
    bool restRefused = false;
    bool ok = sendFileLocked(fd, wire, false, "STOR", offset, &restRefused);
    if (!ok && refusedAtOnce(restRefused)) {
        ok = sendFileLocked(fd, wire, false, "APPE", offset, nullptr);
        if (!ok && refusedAtOnce(false))
            return sendFileLocked(fd, wire, false, "STOR", 0, nullptr);
    }
    if (!ok)
        return false;
    // Going on from the server's bytes is right only if it kept exactly them.
    const int64_t remoteSize = remoteSizeLocked(wire);
    if (remoteSize < 0 || remoteSize == localSize)
        return true;
    return sendFileLocked(fd, wire, false, "STOR", 0, nullptr);
}
