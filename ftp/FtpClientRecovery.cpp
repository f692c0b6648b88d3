// How a client tells why an operation failed, and keeps an idle connection
// (and the knowledge that it is gone).
#include "ftp/FtpClient.h"

#include "ftp/AbortSignal.h"
#include "ftp/ControlConnection.h"
#include "ftp/FailureRules.h"

#include <algorithm>

namespace {

// Threads whose last failure a client remembers (a batch, the window, a
// keep-alive timer: a few at most).
constexpr std::size_t kRememberedThreads = 8;

} // namespace

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
    std::lock_guard<std::mutex> lock(settingsMutex_);
    const std::thread::id self = std::this_thread::get_id();
    failures_.erase(std::remove_if(failures_.begin(), failures_.end(),
                                   [&](const auto& entry) { return entry.first == self; }),
                    failures_.end());
    if (failures_.size() >= kRememberedThreads)
        failures_.erase(failures_.begin());
    failures_.emplace_back(self, failure);
}

TransferFailure FtpClient::lastFailure() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    const std::thread::id self = std::this_thread::get_id();
    for (const auto& entry : failures_)
        if (entry.first == self)
            return entry.second;
    return TransferFailure::None;
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
