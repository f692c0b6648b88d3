// Another connection to the server of this one, for transfers that run
// beside it.
#include "sftp/SftpClient.h"

std::unique_ptr<RemoteSession> SftpClient::newConnectionLikeThis() const {
    auto other = std::make_unique<SftpClient>();
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        other->timeouts_ = timeouts_;
        other->knownHostsFile_ = knownHostsFile_;
        other->trustedKnownHostsFile_ = trustedKnownHostsFile_;
        other->sshDirectory_ = sshDirectory_;
        other->hostKeyCheck_ = hostKeyCheck_;
        other->resumeFolder_ = resumeFolder_;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    other->target_ = target_;
    // The key this connection trusted is trusted by the other one without
    // asking, as on a reconnect.
    other->acceptedKey_ = acceptedKey_;
    other->returnWire_ = returnWire_;
    return other;
}
