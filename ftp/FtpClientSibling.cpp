// Another connection to the server of this one, for transfers that run
// beside it.
#include "ftp/FtpClient.h"

std::unique_ptr<RemoteSession> FtpClient::newConnectionLikeThis() const {
    auto other = std::make_unique<FtpClient>();
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        other->timeouts_ = timeouts_;
        other->tlsRequired_ = tlsRequired_;
        other->trustFile_ = trustFile_;
        other->certificateCheck_ = certificateCheck_;
        other->clearLoginCheck_ = clearLoginCheck_;
        other->verifiedServerNote_ = verifiedServerNote_;
        other->resumeFolder_ = resumeFolder_;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (target_) {
        other->target_ = *target_;
        // What the server taught this connection: a reconnect keeps it.
        other->target_->passive = passive_.load();
        other->passive_ = passive_.load();
    }
    other->epsvRefused_ = epsvRefused_;
    other->mlsdUnsupported_ = mlsdUnsupported_.load();
    other->acceptedFingerprint_ = acceptedFingerprint_;
    other->resumeSession_ = resumeSession_;
    other->returnWire_ = returnWire_;
    return other;
}
