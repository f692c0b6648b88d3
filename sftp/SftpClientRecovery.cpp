// How a client tells why an operation failed, makes its connection again,
// and keeps an idle connection (and the knowledge that it is gone).
#include "sftp/SftpClient.h"

#include "ftp/AbortSignal.h"
#include "sftp/SshConnection.h"
#include "sftp/Watchdog.h"

#include <libssh/sftp.h>

// The order matters: an abort explains everything after it; the
// operation's own word comes next; then the state of the connection: one
// that is gone (a time-out ends it too) is worth another try, while a
// server that answered refused.
TransferFailure SftpClient::failureLocked() const {
    if (abort_->raised())
        return TransferFailure::Aborted;
    if (failure_ != TransferFailure::None)
        return failure_;
    if (watchdog_->expired() || !connection_->alive())
        return TransferFailure::Transient;
    return TransferFailure::Permanent;
}

TransferFailure SftpClient::lastFailure() const {
    return failures_.last();
}

bool SftpClient::reconnect() {
    std::unique_lock<std::mutex> lock(mutex_);
    // An abort raised while nothing ran is meant for what comes next.
    const bool abortPending = abort_->raised();
    readyLocked();
    if (abortPending) {
        failures_.note(TransferFailure::Aborted);
        return false;
    }
    if (!target_) {
        failure_ = TransferFailure::Permanent;
        return finishLocked(false);
    }
    closeConnectionLocked();
    if (!openConnectionLocked(lock, -1, true))
        return false;
    if (returnToDirectoryLocked())
        return true;
    failure_ = TransferFailure::None;  // the connection's state tells
    finishLocked(false);
    closeConnectionLocked();
    return false;
}

// Back into the directory the lost connection was in, once the server
// confirms it is still one.
bool SftpClient::returnToDirectoryLocked() {
    if (returnWire_.empty())
        return true;
    if (entryTypeLocked(returnWire_, true) != SSH_FILEXFER_TYPE_DIRECTORY)
        return false;
    currentWire_ = returnWire_;
    return true;
}

bool SftpClient::connectionAlive() {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    return !lock.owns_lock() || idleConnectionGoodLocked();
}

bool SftpClient::keepAlive() {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return true;
    if (!idleConnectionGoodLocked())
        return false;
    active_ = timeouts();
    beginWaitLocked(active_.replyMs);
    if (sftp_attributes attributes = sftp_stat(connection_->sftp(), "."))
        sftp_attributes_free(attributes);
    closeIfBrokenLocked();
    return connected_.load() && connection_->alive();
}

// While nothing runs: whether the connection is still up, from what the
// server sent meanwhile. One found gone is closed.
bool SftpClient::idleConnectionGoodLocked() {
    if (!isConnected())
        return false;
    active_ = timeouts();
    beginWaitLocked(active_.replyMs);
    const bool good = connection_->quietWhileIdle();
    endWaitLocked();
    if (!good)
        closeConnectionLocked();
    return good;
}
