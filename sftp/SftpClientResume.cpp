// Continuing transfers that broke off: the partial files of downloads that
// may be continued (the same records and rules as FTP's), and uploads that
// go on from what the server kept.
#include "sftp/SftpClient.h"

#include "ftp/DownloadResume.h"
#include "ftp/KnownCertificates.h"
#include "sftp/SshConnection.h"

void SftpClient::setResumeFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    resumeFolder_ = folder;
}

std::string SftpClient::resumeFolder() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return resumeFolder_;
}

// Which download the resume records would name: "host:port:user" of the
// connection, the remote path and the target.
ftp::ResumeKey SftpClient::resumeKeyLocked(const std::string& wire, const std::string& localPath) const {
    ftp::ResumeKey key{resumeFolder(), {}, wire, localPath};
    if (target_)
        key.server = ftp::serverKey(target_->address, target_->port) + ":" + target_->user;
    return key;
}

// Offsets are the protocol's own: a continued download simply reads on
// from the partial's length. The size and time come with the open file,
// so a resume costs no round trip.
void SftpClient::prepareResumeLocked(const ftp::ResumeKey& key, int64_t size, const std::string& time,
                                     ftp::PartialFile& partial, ftp::DownloadResume& resume) {
    ftp::ResumeRecord record;
    const bool recorded = ftp::takeResumeRecord(key, record);
    resume.remoteSize = size;
    resume.remoteTime = time;
    resume.tracked = ftp::worthTracking(size, recorded);
    ftp::continueRecordedPartial(recorded ? &record : nullptr, key.targetPath, resume, partial);
}

// The size stat gives; -1 when there is none.
int64_t SftpClient::remoteSizeLocked(const std::string& wire) {
    if (!connection_->alive())
        return -1;
    beginWaitLocked(active_.replyMs);
    sftp_attributes attributes = sftp_stat(connection_->sftp(), wire.c_str());
    if (!attributes)
        return -1;
    const int64_t size =
        (attributes->flags & SSH_FILEXFER_ATTR_SIZE) ? static_cast<int64_t>(attributes->size) : -1;
    sftp_attributes_free(attributes);
    return size;
}

// Where a retried upload may go on: the remote file's size, when it is no
// more than the failed attempt had confirmed and no more than the local
// file.
int64_t SftpClient::uploadOffsetLocked(const std::string& wire, int64_t resumeLimit, int64_t localSize) {
    const int64_t remoteSize = remoteSizeLocked(wire);
    return remoteSize > 0 && remoteSize <= resumeLimit && remoteSize <= localSize ? remoteSize : 0;
}

// Writes the rest from offset; the whole file again when the result does
// not have the local file's size.
bool SftpClient::continueUploadLocked(int fd, const std::string& wire, int64_t offset, int64_t localSize) {
    if (offset == localSize) {
        transferStart_ = offset;  // every byte is there already
        return true;
    }
    if (!uploadLocked(fd, wire, offset))
        return false;
    // Going on from the server's bytes is right only if it kept exactly them.
    if (remoteSizeLocked(wire) == localSize)
        return true;
    return connection_->alive() && uploadLocked(fd, wire, 0);
}
