#include "sftp/SftpClient.h"

#include "ftp/AbortSignal.h"
#include "ftp/DownloadResume.h"
#include "ftp/NamePattern.h"
#include "ftp/PartialFile.h"
#include "ftp/Socket.h"
#include "ftp/WireNames.h"
#include "platform/FileDescriptors.h"
#include "sftp/EntryAttributes.h"
#include "sftp/KnownHosts.h"
#include "sftp/PipelinedRead.h"
#include "sftp/PipelinedWrite.h"
#include "sftp/SftpPackets.h"
#include "sftp/SmallFileRead.h"
#include "sftp/SshConnection.h"
#include "sftp/SshLogin.h"
#include "sftp/Watchdog.h"
#include "sftp/WirePaths.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kDefaultSshPort = 22;
// Closing says goodbye to the server; do not hold a closing window up for
// long when it does not listen.
constexpr int kGoodbyeTimeoutMs = 2000;
// OpenSSH's server takes reads and writes of up to 256 KiB less its own
// header room; larger requests buy nothing on any server we know.
constexpr std::size_t kLargestChunkBytes = 255 * 1024;
// Bytes in flight at most, in each direction: enough to fill a fast link
// across a continent, little enough to hold in memory per connection.
constexpr std::size_t kBytesInFlight = std::size_t{8} << 20;
constexpr std::size_t kMostRequestsInFlight = 64;

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

sftp::TransferWindow windowFor(uint64_t serverLimit) {
    sftp::TransferWindow window;
    if (serverLimit > 0)
        window.chunkBytes = static_cast<std::size_t>(std::min<uint64_t>(serverLimit, kLargestChunkBytes));
    window.requests = std::clamp<std::size_t>(kBytesInFlight / window.chunkBytes, 4, kMostRequestsInFlight);
    return window;
}

// Address text that libssh reads as a host name and nothing else ("user@"
// would become the user, spaces and controls have no place in a name).
bool isPlainHost(const std::string& address) {
    if (address.empty())
        return false;
    for (char c : address) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || c == '@')
            return false;
    }
    return true;
}

// The last name of a path as the caller wrote it ("a/b/" gives "b").
std::string lastName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// What the server states of an open file.
struct FileFacts {
    int64_t size = -1;   // -1: not stated
    std::string time;    // the modification time in seconds since 1970; empty: not stated
    bool directory = false;
};

FileFacts factsOf(sftp_file file) {
    FileFacts facts;
    sftp_attributes attributes = sftp_fstat(file);
    if (!attributes)
        return facts;
    if (attributes->flags & SSH_FILEXFER_ATTR_SIZE)
        facts.size = static_cast<int64_t>(attributes->size);
    if (attributes->flags & SSH_FILEXFER_ATTR_ACMODTIME)
        facts.time = std::to_string(attributes->mtime);
    facts.directory = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
    sftp_attributes_free(attributes);
    return facts;
}

bool isDotName(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

} // namespace

SftpClient::SftpClient()
    : abort_(std::make_unique<ftp::AbortSignal>()),
      names_(std::make_unique<ftp::WireNames>()),
      connection_(std::make_unique<sftp::SshConnection>()),
      watchdog_(std::make_unique<sftp::Watchdog>([this] { shutdownSocket(); })) {
    trustedKnownHostsFile_ = sftp::userKnownHostsFile();
    names_->resetUtf8Only();
}

SftpClient::~SftpClient() {
    std::lock_guard<std::mutex> lock(mutex_);
    closeConnectionLocked();
}

void SftpClient::setTimeouts(const FtpTimeouts& timeouts) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    timeouts_ = timeouts;
}

FtpTimeouts SftpClient::timeouts() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return timeouts_;
}

void SftpClient::setKnownHostsFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    knownHostsFile_ = path;
}

void SftpClient::setTrustedKnownHostsFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    trustedKnownHostsFile_ = path;
}

void SftpClient::setSshDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    sshDirectory_ = path;
}

void SftpClient::setHostKeyCheck(sftp::HostKeyCheck check) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    hostKeyCheck_ = std::move(check);
}

sftp::HostKeyVerdict SftpClient::hostKeyVerdict() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return verdict_;
}

ConnectionSecurity SftpClient::security() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return security_;
}

void SftpClient::noteVerdict(sftp::HostKeyVerdict verdict, SecurityFailure failure) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    verdict_ = verdict;
    security_.failure = failure;
}

bool SftpClient::isConnected() const {
    return connected_.load() && !abort_->raised();
}

void SftpClient::shutdownSocket() {
    std::lock_guard<std::mutex> lock(socketMutex_);
    if (socketFd_ >= 0)
        ::shutdown(socketFd_, SHUT_RDWR);
}

void SftpClient::abort() {
    abort_->raise();
    shutdownSocket();
}

void SftpClient::abortRunningOperation() {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        abort();
}

// Every wait on the server is bounded by the watchdog: armed before a
// request, re-armed while a transfer moves, disarmed when nothing waits.
void SftpClient::beginWaitLocked(int ms) {
    watchdog_->arm(ms);
}

void SftpClient::endWaitLocked() {
    watchdog_->disarm();
}

// Start of every remote operation: takes the time-outs, carries out an
// abort that arrived while nothing ran, and says whether there is a
// connection to work on.
bool SftpClient::readyLocked() {
    active_ = timeouts();
    failure_ = TransferFailure::None;
    if (abort_->consume()) {
        closeConnectionLocked();
        failure_ = TransferFailure::Aborted;
    }
    const bool ready = connected_.load() && connection_->alive();
    // Without a connection: one that was lost can be made again.
    if (!ready && failure_ == TransferFailure::None)
        failure_ = target_ ? TransferFailure::Transient : TransferFailure::Permanent;
    return ready;
}

bool SftpClient::finishLocked(bool ok) {
    endWaitLocked();
    failures_.note(ok ? TransferFailure::None : failureLocked());
    closeIfBrokenLocked();
    return ok;
}

// A connection that can no longer be trusted (time-out, abort, a broken
// channel) is closed.
void SftpClient::closeIfBrokenLocked() {
    endWaitLocked();
    if (abort_->consume() || watchdog_->expired() || !connection_->alive())
        closeConnectionLocked();
}

void SftpClient::closeConnectionLocked() {
    if (connection_->session()) {
        beginWaitLocked(std::min(active_.replyMs, kGoodbyeTimeoutMs));
        connection_->close();
        endWaitLocked();
    }
    {
        std::lock_guard<std::mutex> lock(socketMutex_);
        if (socketFd_ >= 0)
            ::close(socketFd_);
        socketFd_ = -1;
    }
    connected_ = false;
    currentWire_.clear();
}

bool SftpClient::connect(const std::string& address, const std::string& user, const std::string& password,
                         int port, bool) {
    return connectWith(-1, address, user, password, port);
}

bool SftpClient::connectOnSocket(int fd, const std::string& address, const std::string& user,
                                 const std::string& password, int port) {
    if (fd < 0) {
        failures_.note(TransferFailure::Permanent);
        return false;
    }
    return connectWith(fd, address, user, password, port);
}

// A first connect: the old connection is closed first, so a failed connect
// leaves the client disconnected, and nothing of it carries over. Port 0
// becomes 22.
bool SftpClient::connectWith(int fd, const std::string& address, const std::string& user,
                             const std::string& password, int port) {
    std::unique_lock<std::mutex> lock(mutex_);
    readyLocked();
    closeConnectionLocked();
    target_ = ConnectTarget{address, user, password, port == 0 ? kDefaultSshPort : port};
    acceptedKey_.clear();
    returnWire_.clear();
    return openConnectionLocked(lock, fd, false);
}

bool SftpClient::openConnectionLocked(std::unique_lock<std::mutex>& lock, int fd, bool reconnecting) {
    failure_ = TransferFailure::None;
    const uint64_t attempt = ++connectAttempt_;
    {
        std::lock_guard<std::mutex> settingsLock(settingsMutex_);
        security_ = ConnectionSecurity{};
        verdict_ = sftp::HostKeyVerdict::None;
    }
    const ConnectTarget target = *target_;
    if (!isPlainHost(target.address) || target.port < 0 || target.port > 65535) {
        if (fd >= 0)
            ::close(fd);
        failure_ = TransferFailure::Permanent;
        return finishLocked(false);
    }
    if (fd < 0) {
        ftp::Socket tcp(*abort_);
        if (!tcp.connectTo(target.address, target.port, active_.connectMs)) {
            failure_ = TransferFailure::Transient;
            return finishLocked(false);
        }
        fd = tcp.release();
    }
    const bool ok = startSessionLocked(lock, attempt, fd, reconnecting);
    // A connect that waited for a host-key decision may find that a later
    // connect or a disconnect owns the client now.
    if (attempt != connectAttempt_) {
        failures_.note(TransferFailure::Aborted);
        return false;
    }
    finishLocked(ok);
    if (!connected_.load())
        closeConnectionLocked();
    return connected_.load();
}

bool SftpClient::startSessionLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, int fd,
                                    bool reconnecting) {
    {
        std::lock_guard<std::mutex> socketLock(socketMutex_);
        socketFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    if (socketFd_ < 0) {
        ::close(fd);
        failure_ = TransferFailure::Permanent;
        return false;
    }
    if (abort_->raised())
        shutdownSocket();
    // As libssh sets it on the sockets it opens itself: requests and their
    // replies are small and must not wait for the peer's acknowledgement.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const ConnectTarget target = *target_;
    sftp::SessionSettings settings;
    {
        std::lock_guard<std::mutex> settingsLock(settingsMutex_);
        settings = {target.address, target.port, target.user, knownHostsFile_, trustedKnownHostsFile_, sshDirectory_};
    }
    beginWaitLocked(active_.connectMs);
    if (!connection_->handshake(fd, settings)) {
        noteVerdict(sftp::HostKeyVerdict::None, SecurityFailure::HandshakeFailed);
        // A time-out or an abort tells for itself.
        if (!watchdog_->expired() && !abort_->raised())
            failure_ = connection_->refusedForConnectionLimit() ? TransferFailure::TooManyConnections
                                                                : TransferFailure::Permanent;
        return false;
    }
    if (!trustServerLocked(lock, attempt, target.address, target.port, reconnecting)) {
        failure_ = TransferFailure::Permanent;
        return false;
    }
    if (attempt != connectAttempt_)
        return false;
    {
        std::lock_guard<std::mutex> settingsLock(settingsMutex_);
        security_.controlProtected = true;
        security_.dataProtected = true;
        security_.protection = connection_->protection();
    }
    // No password or key goes out before the server's key is trusted.
    beginWaitLocked(active_.replyMs);
    if (!logInLocked(target.password))
        return false;
    bool ok = connection_->openSftp() && settleTransferSizesLocked();
    char* home = ok ? sftp_canonicalize_path(connection_->sftp(), ".") : nullptr;
    if (home) {
        currentWire_ = home;
        ssh_string_free_char(home);
    }
    if (home && connection_->alive() && !abort_->raised()) {
        // Names learned on the last connection stay valid on a new one.
        if (!reconnecting) {
            std::lock_guard<std::mutex> names(namesMutex_);
            names_->resetUtf8Only();
        }
        connected_ = true;
    }
    return connected_.load();
}

// A refused login is an answer, unless the server gave its connection
// limit as the reason; a connection that merely broke off during the
// login is worth another try.
bool SftpClient::logInLocked(const std::string& password) {
    connection_->limitLibsshWaits(sftp::kLoginWaitSeconds);
    const bool loggedIn = sftp::logIn(connection_->session(), password);
    connection_->limitLibsshWaits(0);
    if (loggedIn)
        return true;
    if (connection_->refusedForConnectionLimit())
        failure_ = TransferFailure::TooManyConnections;
    else if (connection_->alive() || connection_->serverEndedIt())
        failure_ = TransferFailure::Permanent;
    return false;
}

bool SftpClient::trustServerLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, const std::string& host,
                                   int port, bool reconnecting) {
    sftp::HostKey key;
    if (!sftp::describeServerKey(connection_->session(), key)) {
        noteVerdict(sftp::HostKeyVerdict::None, SecurityFailure::HandshakeFailed);
        return false;
    }
    std::string ownFile, trustedFile;
    {
        std::lock_guard<std::mutex> settingsLock(settingsMutex_);
        ownFile = knownHostsFile_;
        trustedFile = trustedKnownHostsFile_;
    }
    switch (sftp::checkKnownHost(connection_->session(), {ownFile, trustedFile})) {
    case sftp::KnownHostStatus::Known:
        noteVerdict(sftp::HostKeyVerdict::Known, SecurityFailure::None);
        acceptedKey_ = key.fingerprint;
        return true;
    case sftp::KnownHostStatus::Changed:
        key.changed = true;
        askAboutKeyLocked(lock, attempt, host, port, key);  // told, so the user is warned; never used
        if (attempt == connectAttempt_)
            noteVerdict(sftp::HostKeyVerdict::Changed, SecurityFailure::CertificateRejected);
        return false;
    case sftp::KnownHostStatus::Unknown:
        break;
    }
    // The user already said yes to this very key for this server.
    if (reconnecting && !acceptedKey_.empty() && key.fingerprint == acceptedKey_) {
        noteVerdict(sftp::HostKeyVerdict::Accepted, SecurityFailure::None);
        return true;
    }
    if (!askAboutKeyLocked(lock, attempt, host, port, key)) {
        if (attempt == connectAttempt_)
            noteVerdict(sftp::HostKeyVerdict::Rejected, SecurityFailure::CertificateRejected);
        return false;
    }
    // A key that cannot be written still counts for this connect.
    if (!ownFile.empty())
        sftp::rememberHost(connection_->session(), ownFile);
    noteVerdict(sftp::HostKeyVerdict::Accepted, SecurityFailure::None);
    acceptedKey_ = key.fingerprint;
    return true;
}

// The question may take the user a while: the client is left free
// meanwhile, so a disconnect (or closing the window) is not held up; it
// ends this connect.
bool SftpClient::askAboutKeyLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, const std::string& host,
                                   int port, const sftp::HostKey& key) {
    sftp::HostKeyCheck check;
    {
        std::lock_guard<std::mutex> settingsLock(settingsMutex_);
        check = hostKeyCheck_;
    }
    if (!check)
        return false;
    endWaitLocked();
    lock.unlock();
    const bool accepted = check(host, port, key);
    lock.lock();
    return accepted && attempt == connectAttempt_ && !abort_->raised() && connection_->alive();
}

// Reads and writes as large as the server says it takes, else the size
// every server takes.
bool SftpClient::settleTransferSizesLocked() {
    sftp::ServerLimits limits;
    if (!sftp::queryLimits(connection_->sftp(), limits))
        return false;
    readWindow_ = windowFor(limits.maxReadLength);
    writeWindow_ = windowFor(limits.maxWriteLength);
    return true;
}

void SftpClient::disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    readyLocked();
    ++connectAttempt_;
    closeConnectionLocked();
    // The user ended the connection: nothing to make again.
    target_.reset();
    acceptedKey_.clear();
    returnWire_.clear();
}

// Bytes the caller took with the path are sent as they are; otherwise the
// path goes by the session's name rules. Relative paths are resolved
// against the client's current directory.
bool SftpClient::toWireLocked(const RemoteName& path, std::string& wire) const {
    if (path.empty() || path.path.find('\0') != std::string::npos)
        return false;
    const std::string bytes = path.wire.empty() ? wirePath(path.path) : path.wire;
    if (bytes.empty() || bytes.find('\0') != std::string::npos)
        return false;
    wire = sftp::resolvePath(currentWire_, bytes);
    return true;
}

std::string SftpClient::shownPathLocked(const std::string& wire) const {
    std::lock_guard<std::mutex> names(namesMutex_);
    return names_->pathFromWire(wire);
}

std::string SftpClient::wirePath(const std::string& path) const {
    std::lock_guard<std::mutex> names(namesMutex_);
    return names_->pathToWire(path);
}

std::string SftpClient::wirePathBelow(const RemoteName& folder, const std::string& relative) const {
    return wirePathsBelow(folder, {relative}).front();
}

std::vector<std::string> SftpClient::wirePathsBelow(const RemoteName& folder,
                                                    const std::vector<std::string>& names) const {
    std::lock_guard<std::mutex> lock(namesMutex_);
    return names_->pathsBelowToWire(folder.path, folder.wire, names);
}

bool SftpClient::simpleRequestLocked(const RemoteName& path, int (*request)(sftp_session, const char*)) {
    std::string wire;
    if (!toWireLocked(path, wire))
        return false;
    beginWaitLocked(active_.replyMs);
    return request(connection_->sftp(), wire.c_str()) == 0;
}

bool SftpClient::deleteFile(const RemoteName& remote) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = readyLocked() && simpleRequestLocked(remote, sftp_unlink);
    return finishLocked(ok);
}

bool SftpClient::removeDirectory(const RemoteName& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = readyLocked() && simpleRequestLocked(dir, sftp_rmdir);
    return finishLocked(ok);
}

bool SftpClient::makeDirectory(const RemoteName& dir) {
    std::string createdName;
    return makeDirectory(dir, createdName);
}

bool SftpClient::makeDirectory(const RemoteName& dir, std::string& createdName) {
    std::lock_guard<std::mutex> lock(mutex_);
    createdName = lastName(dir.path);
    std::string wire;
    bool ok = readyLocked() && toWireLocked(dir, wire);
    if (ok) {
        beginWaitLocked(active_.replyMs);
        ok = sftp_mkdir(connection_->sftp(), wire.c_str(), 0755) == 0;
    }
    return finishLocked(ok);
}

// The entry's type (SSH_FILEXFER_TYPE_*) as stat (following links) or
// lstat says it; -1 when it cannot be found.
int SftpClient::entryTypeLocked(const std::string& wire, bool followLinks) {
    if (!connection_->alive())
        return -1;
    beginWaitLocked(active_.replyMs);
    sftp_attributes attributes = followLinks ? sftp_stat(connection_->sftp(), wire.c_str())
                                             : sftp_lstat(connection_->sftp(), wire.c_str());
    if (!attributes)
        return -1;
    const int type = attributes->type;
    sftp_attributes_free(attributes);
    return type;
}

// SSH_FXP_RENAME of SFTP version 3 (what libssh 0.10 sends) does not
// replace an existing target on OpenSSH, but other servers rename the
// POSIX way, replacing it; the target is looked for first on every server.
bool SftpClient::renameFile(const RemoteName& oldName, const std::string& newName,
                            const RemoteName& newNameFolder, bool replace) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string oldWire, newWire;
    bool ok = readyLocked() && toWireLocked(oldName, oldWire) && newWireLocked(newName, newNameFolder, newWire);
    const int existing = ok ? entryTypeLocked(newWire, false) : -1;
    if (ok && existing >= 0) {
        const bool replaceable = replace && existing != SSH_FILEXFER_TYPE_DIRECTORY && oldWire != newWire;
        return finishLocked(replaceable && connection_->alive() && replacingRenameLocked(oldWire, newWire));
    }
    ok = ok && connection_->alive();
    if (ok) {
        beginWaitLocked(active_.replyMs);
        ok = sftp_rename(connection_->sftp(), oldWire.c_str(), newWire.c_str()) == 0;
    }
    return finishLocked(ok);
}

// SFTP's rename never replaces: the old file goes aside under a name of its
// own first, so that a rename that fails can put it back.
bool SftpClient::replacingRenameLocked(const std::string& oldWire, const std::string& newWire) {
    const std::string aside = newWire + ".replaced-by-rename";
    if (entryTypeLocked(aside, false) >= 0)
        return false;
    sftp_session sftp = connection_->sftp();
    beginWaitLocked(active_.replyMs);
    if (sftp_rename(sftp, newWire.c_str(), aside.c_str()) != 0)
        return false;
    beginWaitLocked(active_.replyMs);
    if (sftp_rename(sftp, oldWire.c_str(), newWire.c_str()) != 0) {
        beginWaitLocked(active_.replyMs);
        sftp_rename(sftp, aside.c_str(), newWire.c_str());
        return false;
    }
    beginWaitLocked(active_.replyMs);
    sftp_unlink(sftp, aside.c_str());
    return true;
}

// A relative new name lands in the folder given, else in the current one.
bool SftpClient::newWireLocked(const std::string& newName, const RemoteName& folder, std::string& wire) const {
    if (folder.empty() || (!newName.empty() && newName[0] == '/'))
        return toWireLocked(newName, wire);
    std::string folderWire;
    if (!toWireLocked(folder, folderWire) || !toWireLocked(newName, wire))
        return false;
    // toWireLocked resolved the name against the current directory; the
    // name's own bytes go below the folder instead.
    wire = sftp::resolvePath(folderWire, wirePath(newName));
    return true;
}

bool SftpClient::setCurrentDirectory(const RemoteName& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string wire;
    bool ok = readyLocked() && toWireLocked(dir, wire);
    if (ok) {
        const std::string path = sftp::normalizePath(wire);
        ok = entryTypeLocked(path, true) == SSH_FILEXFER_TYPE_DIRECTORY;
        if (ok)
            currentWire_ = returnWire_ = path;
    }
    return finishLocked(ok);
}

std::string SftpClient::currentDirectory() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string path;
    if (readyLocked())
        path = shownPathLocked(currentWire_);
    finishLocked(!path.empty());
    return path;
}

void SftpClient::publishPartial(const std::string& localPath, const std::string& partialPath) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    partialTarget_ = localPath;
    partialPath_ = partialPath;
}

std::string SftpClient::partialPathFor(const std::string& localPath) const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return localPath == partialTarget_ ? partialPath_ : std::string();
}

bool SftpClient::getFile(const RemoteName& remote, const std::string& localPath, bool, int64_t expectedSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred_ = 0;
    transferStart_ = 0;
    std::string wire;
    if (!readyLocked() || localPath.empty() || !toWireLocked(remote, wire))
        return finishLocked(false);
    ftp::PartialFile partial;
    ftp::DownloadResume resume;
    const ftp::ResumeKey key = resumeKeyLocked(wire, localPath);
    bool ok = false;
    if (!getSmallFileLocked(wire, localPath, expectedSize, key, partial, resume, ok))
        ok = getOpenedFileLocked(wire, localPath, expectedSize, key, partial, resume);
    const long long length = partial.length();
    if (!partial.close() || (ok && !partial.commit(localPath))) {
        failure_ = TransferFailure::Permanent;  // the local disk refused
        ok = false;
    }
    if (!ok)
        ftp::settleFailedDownload(key, resume, worthRetrying(failureLocked()), partial, length);
    return finishLocked(ok);
}

// A file the caller knows to fit in one read comes in two round trips
// instead of four (see SmallFileRead.h). False when that did not decide
// the download: it then goes the usual way. ok is the result otherwise.
bool SftpClient::getSmallFileLocked(const std::string& wire, const std::string& localPath, int64_t expectedSize,
                                    const ftp::ResumeKey& key, ftp::PartialFile& partial,
                                    ftp::DownloadResume& resume, bool& ok) {
    if (expectedSize < 0 || static_cast<uint64_t>(expectedSize) > readWindow_.chunkBytes)
        return false;
    const int stallMs = active_.stallMs;
    beginWaitLocked(active_.replyMs);
    sftp::SmallFile file;
    const sftp::SmallReadEnd end = sftp::readSmallFile(connection_->sftp(), wire, static_cast<uint32_t>(expectedSize),
                                                       file, [&] { beginWaitLocked(stallMs); });
    if (end == sftp::SmallReadEnd::Undecided)
        return false;
    ok = false;
    if (end == sftp::SmallReadEnd::ChannelBroken) {
        // A reply read in part leaves the channel out of step: it is not
        // used again.
        beginWaitLocked(std::min(active_.replyMs, kGoodbyeTimeoutMs));
        connection_->close();
        return true;
    }
    if (!key.folder.empty())
        prepareResumeLocked(key, file.statedSize, file.time, partial, resume);
    ok = openPartialLocked(localPath, partial) && writeSmallFileLocked(partial, file.data, resume.offset);
    return true;
}

// The bytes of a small file from offset on (a continued partial holds the
// ones before), appended to the partial file.
bool SftpClient::writeSmallFileLocked(ftp::PartialFile& partial, const std::string& data, int64_t offset) {
    transferStart_ = offset;
    transferred_ = 0;
    if (offset > static_cast<int64_t>(data.size())) {
        failure_ = TransferFailure::Transient;
        return false;
    }
    const auto from = static_cast<std::size_t>(offset);
    if (!platform::writeAll(partial.fd(), data.data() + from, data.size() - from)) {
        failure_ = TransferFailure::Permanent;
        return false;
    }
    transferred_ = static_cast<int64_t>(data.size() - from);
    return true;
}

// The usual way: libssh opens the file and asks for its size and time,
// then a window of reads brings it.
bool SftpClient::getOpenedFileLocked(const std::string& wire, const std::string& localPath, int64_t expectedSize,
                                     const ftp::ResumeKey& key, ftp::PartialFile& partial,
                                     ftp::DownloadResume& resume) {
    beginWaitLocked(active_.replyMs);
    sftp_file file = sftp_open(connection_->sftp(), wire.c_str(), O_RDONLY, 0);
    if (!file)
        return false;
    const FileFacts facts = factsOf(file);
    // Some servers open a folder for reading like a file.
    bool ok = !facts.directory;
    if (ok && !key.folder.empty())
        prepareResumeLocked(key, facts.size, facts.time, partial, resume);
    const int64_t size = facts.size >= 0 ? facts.size : expectedSize;
    ok = ok && openPartialLocked(localPath, partial) && downloadLocked(file, partial, resume.offset, size);
    beginWaitLocked(active_.replyMs);
    sftp_close(file);
    return ok;
}

bool SftpClient::openPartialLocked(const std::string& localPath, ftp::PartialFile& partial) {
    if (!partial.isOpen() && !partial.create(localPath)) {
        failure_ = TransferFailure::Permanent;
        return false;
    }
    publishPartial(localPath, partial.path());
    return true;
}

// The remote file from offset on, appended to the open partial file (whose
// first offset bytes are the file's beginning); size is the file's (-1:
// unknown), which the bytes must end at.
bool SftpClient::downloadLocked(sftp_file file, ftp::PartialFile& partial, int64_t offset, int64_t size) {
    transferStart_ = offset;
    transferred_ = 0;
    if (size >= 0 && offset > size) {
        failure_ = TransferFailure::Transient;
        return false;
    }
    const int stallMs = active_.stallMs;
    beginWaitLocked(stallMs);
    const sftp::ReadEnd end = sftp::readPipelined(file, partial.fd(), static_cast<uint64_t>(offset), size,
                                                  readWindow_, [&](std::size_t bytes) {
                                                      transferred_ += static_cast<int64_t>(bytes);
                                                      beginWaitLocked(stallMs);
                                                  });
    // Cut short, or the file changed while it was read: the next try
    // looks again.
    if (end == sftp::ReadEnd::WrongLength)
        failure_ = TransferFailure::Transient;
    else if (end == sftp::ReadEnd::LocalWriteFailed)
        failure_ = TransferFailure::Permanent;
    return end == sftp::ReadEnd::Whole;
}

bool SftpClient::putFile(const std::string& localPath, const RemoteName& remote, bool, int64_t resumeLimit) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred_ = 0;
    transferStart_ = 0;
    std::string wire;
    if (!readyLocked() || !toWireLocked(remote, wire))
        return finishLocked(false);
    const int fd = platform::openRegularFile(localPath);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            ::close(fd);
        failure_ = TransferFailure::Permanent;
        return finishLocked(false);
    }
    const auto localSize = static_cast<int64_t>(info.st_size);
    const int64_t offset = resumeLimit > 0 ? uploadOffsetLocked(wire, resumeLimit, localSize) : 0;
    const bool ok = offset > 0 ? continueUploadLocked(fd, wire, offset, localSize) : uploadLocked(fd, wire, 0);
    if (ok) {
        std::lock_guard<std::mutex> names(namesMutex_);
        names_->noteSent(remote.path, wire);
    }
    ::close(fd);
    return finishLocked(ok);
}

bool SftpClient::uploadLocked(int fd, const std::string& wire, int64_t offset) {
    transferStart_ = offset;
    transferred_ = 0;
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
        failure_ = TransferFailure::Permanent;
        return false;
    }
    beginWaitLocked(active_.replyMs);
    const int flags = offset > 0 ? O_WRONLY : O_WRONLY | O_CREAT | O_TRUNC;
    sftp_file file = sftp_open(connection_->sftp(), wire.c_str(), flags, 0644);
    if (!file)
        return false;
    const int stallMs = active_.stallMs;
    beginWaitLocked(stallMs);
    const sftp::WriteEnd end = sftp::writePipelined(file, fd, static_cast<uint64_t>(offset), writeWindow_,
                                                    [&](std::size_t bytes) {
                                                        transferred_ += static_cast<int64_t>(bytes);
                                                        beginWaitLocked(stallMs);
                                                    });
    if (end == sftp::WriteEnd::ChannelBroken) {
        // Replies may still be on their way that libssh would not know:
        // the channel cannot be used again. The handle is let go first
        // (libssh frees it whatever the server says, quickly on a dead
        // socket).
        beginWaitLocked(std::min(active_.replyMs, kGoodbyeTimeoutMs));
        sftp_close(file);
        connection_->close();
        return false;
    }
    if (end == sftp::WriteEnd::LocalReadFailed)
        failure_ = TransferFailure::Permanent;
    beginWaitLocked(active_.replyMs);
    // The server reports a failed close (a full disk among others).
    return sftp_close(file) == 0 && end == sftp::WriteEnd::Whole;
}

DirectoryListing SftpClient::listEntries(const RemoteName& directory, bool confirmFolders) {
    std::lock_guard<std::mutex> lock(mutex_);
    DirectoryListing listing;
    std::string wire;
    if (readyLocked() && (directory.empty() || toWireLocked(directory, wire))) {
        const std::string path = directory.empty() ? currentWire_ : wire;
        std::vector<std::string> wires;
        try {
            if (readListingLocked(path, listing, wires)) {
                if (confirmFolders)
                    markUnconfirmedFoldersLocked(path, listing, wires);
                nameEntriesLocked(directory.path, listing, wires);
                listing.complete = true;
            }
        } catch (const std::bad_alloc&) {
            listing.overLimit = true;
        }
        if (!listing.complete)
            std::vector<RemoteEntry>().swap(listing.entries);
    }
    if (listing.overLimit)
        failure_ = TransferFailure::Permanent;  // it would be as long again
    finishLocked(listing.complete);
    return listing;
}

// The entries of the directory in server order and their names' bytes,
// within the caps and the listing time-out. False when the listing failed
// or was cut.
bool SftpClient::readListingLocked(const std::string& wire, DirectoryListing& listing,
                                   std::vector<std::string>& wires) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(active_.listingMs);
    beginWaitLocked(std::min(active_.replyMs, msUntil(deadline)));
    sftp_dir dir = sftp_opendir(connection_->sftp(), wire.c_str());
    if (!dir)
        return false;
    std::size_t bytes = 0;
    bool ok = false;
    for (;;) {
        const int left = msUntil(deadline);
        if (left == 0) {
            failure_ = TransferFailure::Transient;  // a slow server, or a slow link
            break;
        }
        beginWaitLocked(std::min(active_.replyMs, left));
        sftp_attributes attributes = sftp_readdir(connection_->sftp(), dir);
        if (!attributes) {
            ok = sftp_dir_eof(dir) != 0;
            break;
        }
        const std::string name = attributes->name ? attributes->name : "";
        bytes += name.size() + (attributes->longname ? std::strlen(attributes->longname) : 0);
        if (listing.entries.size() >= ftp::kMaxListingEntries || bytes > ftp::kMaxListingBytes) {
            sftp_attributes_free(attributes);
            listing.overLimit = true;
            break;
        }
        if (!name.empty() && !isDotName(name.c_str())) {
            RemoteEntry entry;
            sftp::describeEntry(*attributes, entry);
            listing.entries.push_back(std::move(entry));
            wires.push_back(name);
        }
        sftp_attributes_free(attributes);
    }
    beginWaitLocked(active_.replyMs);
    sftp_closedir(dir);
    return ok;
}

// A folder of the listing stays a folder only when lstat, which never
// follows a link, says it is one; the others (and those not asked in time)
// are marked as links, so a walk never goes through them.
void SftpClient::markUnconfirmedFoldersLocked(const std::string& wire, DirectoryListing& listing,
                                              const std::vector<std::string>& wires) {
    const std::string prefix = wire.empty() || wire.back() == '/' ? wire : wire + "/";
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        RemoteEntry& entry = listing.entries[i];
        if (!entry.isDirectory() || entry.isLink())
            continue;
        if (entryTypeLocked(prefix + wires[i], false) != SSH_FILEXFER_TYPE_DIRECTORY)
            entry.attributes |= ftp::kAttrLink;
    }
}

// Shown names: UTF-8 as it is, other bytes escaped. A local copy is named
// in the server's own bytes.
void SftpClient::nameEntriesLocked(const std::string& directory, DirectoryListing& listing,
                                   std::vector<std::string>& wires) {
    std::vector<ftp::ListedName> names;
    {
        std::lock_guard<std::mutex> lock(namesMutex_);
        names = names_->namesOfListing(directory, wires);
    }
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        RemoteEntry& entry = listing.entries[i];
        if (names[i].name != wires[i])
            entry.wireName = wires[i];
        entry.name = std::move(names[i].name);
        entry.localName = std::move(wires[i]);
    }
}

int SftpClient::listDirectory(const std::string& pattern, int filter, std::vector<std::string>* names,
                              std::vector<int>* attributes, std::vector<int64_t>* sizes,
                              std::vector<RemoteTime>* times) {
    return ftp::listMatching(
        pattern, filter, [&](const std::string& directory) { return listEntries(directory); },
        {names, attributes, sizes, times});
}
