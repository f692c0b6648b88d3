// How a client tells why an operation failed, and keeps an idle connection
// (and the knowledge that it is gone).
#include "ftp/FtpClient.h"

#include "ftp/AbortSignal.h"
#include "ftp/ControlConnection.h"
#include "ftp/FailureRules.h"
#include "ftp/ThreadFailures.h"

// The order matters: an abort explains everything after it; the
// operation's own word comes next; then the server's last answer, unless
// the connection broke after it (a 421 is both).
TransferFailure FtpClient::failureLocked() const {
    if (abort_->raised())
        return TransferFailure::Aborted;
    if (failure_ != TransferFailure::None)
        return failure_;
    const ftp::FtpReply& last = control_->lastReply();
    if (last.code == 421 || (last.code >= 300 && !control_->lost())) {
        std::string text;
        for (const std::string& line : last.lines)
            text += line + "\n";
        return ftp::failureOfReply(last.code, text, connecting_);
    }
    return control_->lost() ? TransferFailure::Transient : fallback_;
}

void FtpClient::noteFailure(TransferFailure failure) {
    failures_.note(failure);
}

TransferFailure FtpClient::lastFailure() const {
    return failures_.last();
}

bool FtpClient::connectionAlive() {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    return !lock.owns_lock() || idleConnectionGoodLocked();
}

bool FtpClient::keepAlive() {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return true;
    if (!idleConnectionGoodLocked())
        return false;
    active_ = timeouts();
    deadline_ = ftp::Deadline();
    control_->setSendTimeout(active_.replyMs);
    ftp::FtpReply reply;
    control_->command("NOOP", reply, active_.replyMs);
    closeIfBrokenLocked();
    return connected_.load() && control_->isOpen();
}

// While nothing runs: whether the connection is still up, from what the
// server sent meanwhile. One found gone is closed.
bool FtpClient::idleConnectionGoodLocked() {
    if (!isConnected() || !control_->isOpen())
        return false;
    if (control_->quietWhileIdle())
        return true;
    closeConnectionLocked(false);
    return false;
}
