#include "sftp/SftpClient.h"

#include "ftp/AbortSignal.h"
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
    if (abort_->consume())
        closeConnectionLocked();
    return connected_.load() && connection_->alive();
}

// End of every remote operation: a connection that can no longer be
// trusted (time-out, abort, a broken channel) is closed.
void SftpClient::finishLocked() {
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

// Start of every connect: the old connection is closed first, so a failed
// connect leaves the client disconnected. Port 0 becomes 22.
uint64_t SftpClient::beginConnectLocked(int& port) {
    readyLocked();
    closeConnectionLocked();
    noteVerdict(sftp::HostKeyVerdict::None, SecurityFailure::None);
    if (port == 0)
        port = kDefaultSshPort;
    return ++connectAttempt_;
}

bool SftpClient::connect(const std::string& address, const std::string& user, const std::string& password,
                         int port, bool) {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t attempt = beginConnectLocked(port);
    if (!isPlainHost(address) || port < 0 || port > 65535)
        return false;
    ftp::Socket tcp(*abort_);
    if (!tcp.connectTo(address, port, active_.connectMs)) {
        finishLocked();
        return false;
    }
    return startSessionLocked(lock, attempt, tcp.release(), address, user, password, port);
}

bool SftpClient::connectOnSocket(int fd, const std::string& address, const std::string& user,
                                 const std::string& password, int port) {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t attempt = beginConnectLocked(port);
    if (fd < 0 || !isPlainHost(address) || port < 0 || port > 65535) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    return startSessionLocked(lock, attempt, fd, address, user, password, port);
}

bool SftpClient::startSessionLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, int fd,
                                    const std::string& address, const std::string& user,
                                    const std::string& password, int port) {
    {
        std::lock_guard<std::mutex> socketLock(socketMutex_);
        socketFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    if (socketFd_ < 0) {
        ::close(fd);
        return false;
    }
    if (abort_->raised())
        shutdownSocket();
    // As libssh sets it on the sockets it opens itself: requests and their
    // replies are small and must not wait for the peer's acknowledgement.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    sftp::SessionSettings settings;
    {
        std::lock_guard<std::mutex> settingsLock(settingsMutex_);
        settings = {address, port, user, knownHostsFile_, trustedKnownHostsFile_, sshDirectory_};
    }
    beginWaitLocked(active_.connectMs);
    bool ok = connection_->handshake(fd, settings);
    if (!ok)
        noteVerdict(sftp::HostKeyVerdict::None, SecurityFailure::HandshakeFailed);
    ok = ok && trustServerLocked(lock, attempt, address, port);
    // A connect that waited for a host-key decision may find that a later
    // connect or a disconnect owns the client now.
    if (attempt != connectAttempt_)
        return false;
    if (ok) {
        std::lock_guard<std::mutex> settingsLock(settingsMutex_);
        security_.controlProtected = true;
        security_.dataProtected = true;
        security_.tlsVersion = connection_->protection();
    }
    // No password or key goes out before the server's key is trusted.
    beginWaitLocked(active_.replyMs);
    ok = ok && sftp::logIn(connection_->session(), password) && connection_->openSftp() &&
         settleTransferSizesLocked();
    char* home = ok ? sftp_canonicalize_path(connection_->sftp(), ".") : nullptr;
    if (home) {
        currentWire_ = home;
        ssh_string_free_char(home);
    }
    if (home && connection_->alive() && !abort_->raised()) {
        names_->resetUtf8Only();
        connected_ = true;
    }
    finishLocked();
    if (!connected_.load())
        closeConnectionLocked();
    return connected_.load();
}

bool SftpClient::trustServerLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, const std::string& host,
                                   int port) {
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
    if (!askAboutKeyLocked(lock, attempt, host, port, key)) {
        if (attempt == connectAttempt_)
            noteVerdict(sftp::HostKeyVerdict::Rejected, SecurityFailure::CertificateRejected);
        return false;
    }
    // A key that cannot be written still counts for this connect.
    if (!ownFile.empty())
        sftp::rememberHost(connection_->session(), ownFile);
    noteVerdict(sftp::HostKeyVerdict::Accepted, SecurityFailure::None);
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
}

bool SftpClient::toWireLocked(const std::string& path, std::string& wire) const {
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    wire = sftp::resolvePath(currentWire_, names_->pathToWire(path));
    return true;
}

bool SftpClient::simpleRequestLocked(const std::string& path, int (*request)(sftp_session, const char*)) {
    std::string wire;
    if (!toWireLocked(path, wire))
        return false;
    beginWaitLocked(active_.replyMs);
    return request(connection_->sftp(), wire.c_str()) == 0;
}

bool SftpClient::deleteFile(const std::string& remoteName) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = readyLocked() && simpleRequestLocked(remoteName, sftp_unlink);
    finishLocked();
    return ok;
}

bool SftpClient::removeDirectory(const std::string& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = readyLocked() && simpleRequestLocked(dir, sftp_rmdir);
    finishLocked();
    return ok;
}

bool SftpClient::makeDirectory(const std::string& dir) {
    std::string createdName;
    return makeDirectory(dir, createdName);
}

bool SftpClient::makeDirectory(const std::string& dir, std::string& createdName) {
    std::lock_guard<std::mutex> lock(mutex_);
    createdName = lastName(dir);
    std::string wire;
    bool ok = readyLocked() && toWireLocked(dir, wire);
    if (ok) {
        beginWaitLocked(active_.replyMs);
        ok = sftp_mkdir(connection_->sftp(), wire.c_str(), 0755) == 0;
    }
    finishLocked();
    return ok;
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
bool SftpClient::renameFile(const std::string& oldName, const std::string& newName) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string oldWire, newWire;
    bool ok = readyLocked() && toWireLocked(oldName, oldWire) && toWireLocked(newName, newWire) &&
              entryTypeLocked(newWire, false) < 0 && connection_->alive();
    if (ok) {
        beginWaitLocked(active_.replyMs);
        ok = sftp_rename(connection_->sftp(), oldWire.c_str(), newWire.c_str()) == 0;
    }
    finishLocked();
    return ok;
}

bool SftpClient::setCurrentDirectory(const std::string& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string wire;
    bool ok = readyLocked() && toWireLocked(dir, wire);
    if (ok) {
        const std::string path = sftp::normalizePath(wire);
        ok = entryTypeLocked(path, true) == SSH_FILEXFER_TYPE_DIRECTORY;
        if (ok)
            currentWire_ = path;
    }
    finishLocked();
    return ok;
}

std::string SftpClient::currentDirectory() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string path;
    if (readyLocked())
        path = names_->pathFromWire(currentWire_);
    finishLocked();
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

bool SftpClient::getFile(const std::string& remoteName, const std::string& localPath, bool, int64_t expectedSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred_ = 0;
    std::string wire;
    ftp::PartialFile partial;
    if (!readyLocked() || localPath.empty() || !toWireLocked(remoteName, wire) || !partial.create(localPath)) {
        finishLocked();
        return false;
    }
    publishPartial(localPath, partial.path());
    bool ok = downloadLocked(wire, partial, 0, expectedSize);
    ok = partial.close() && ok;
    ok = ok && partial.commit(localPath);
    if (!ok)
        partial.discard();
    finishLocked();
    return ok;
}

// The remote file from offset on, appended to the open partial file (whose
// first offset bytes are the file's beginning). Its size is the one the
// server states for the open file, else expectedSize.
bool SftpClient::downloadLocked(const std::string& wire, ftp::PartialFile& partial, int64_t offset,
                                int64_t expectedSize) {
    beginWaitLocked(active_.replyMs);
    sftp_file file = sftp_open(connection_->sftp(), wire.c_str(), O_RDONLY, 0);
    if (!file)
        return false;
    int64_t size = expectedSize;
    bool directory = false;
    if (sftp_attributes attributes = sftp_fstat(file)) {
        if (attributes->flags & SSH_FILEXFER_ATTR_SIZE)
            size = static_cast<int64_t>(attributes->size);
        // Some servers open a folder for reading like a file.
        directory = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
        sftp_attributes_free(attributes);
    }
    transferred_ = offset;
    const int stallMs = active_.stallMs;
    beginWaitLocked(stallMs);
    const bool ok = !directory && (size < 0 || offset <= size)
                        ? sftp::readPipelined(file, partial.fd(), static_cast<uint64_t>(offset), size, readWindow_,
                                              [&](std::size_t bytes) {
                                                  transferred_ += static_cast<int64_t>(bytes);
                                                  beginWaitLocked(stallMs);
                                              })
                        : false;
    beginWaitLocked(active_.replyMs);
    sftp_close(file);
    return ok;
}

bool SftpClient::putFile(const std::string& localPath, const std::string& remoteName, bool) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred_ = 0;
    std::string wire;
    if (!readyLocked() || !toWireLocked(remoteName, wire)) {
        finishLocked();
        return false;
    }
    const int fd = platform::openRegularFile(localPath);
    if (fd < 0) {
        finishLocked();
        return false;
    }
    const bool ok = uploadLocked(fd, wire);
    if (ok)
        names_->noteSent(remoteName, wire);
    ::close(fd);
    finishLocked();
    return ok;
}

bool SftpClient::uploadLocked(int fd, const std::string& wire) {
    beginWaitLocked(active_.replyMs);
    sftp_file file = sftp_open(connection_->sftp(), wire.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!file)
        return false;
    const int stallMs = active_.stallMs;
    beginWaitLocked(stallMs);
    bool channelBroken = false;
    const bool ok = sftp::writePipelined(file, fd, 0, writeWindow_,
                                         [&](std::size_t bytes) {
                                             transferred_ += static_cast<int64_t>(bytes);
                                             beginWaitLocked(stallMs);
                                         },
                                         channelBroken);
    if (channelBroken) {
        // Replies may still be on their way that libssh would not know:
        // the channel cannot be used again. The handle is let go first
        // (libssh frees it whatever the server says, quickly on a dead
        // socket).
        beginWaitLocked(std::min(active_.replyMs, kGoodbyeTimeoutMs));
        sftp_close(file);
        connection_->close();
        return false;
    }
    beginWaitLocked(active_.replyMs);
    // The server reports a failed close (a full disk among others).
    return sftp_close(file) == 0 && ok;
}

DirectoryListing SftpClient::listEntries(const std::string& directory, bool confirmFolders) {
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
                nameEntriesLocked(directory, listing, wires);
                listing.complete = true;
            }
        } catch (const std::bad_alloc&) {
            listing.overLimit = true;
        }
        if (!listing.complete)
            std::vector<RemoteEntry>().swap(listing.entries);
    }
    finishLocked();
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
        if (left == 0)
            break;
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
    std::vector<ftp::ListedName> names = names_->namesOfListing(directory, wires);
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        listing.entries[i].name = std::move(names[i].name);
        listing.entries[i].localName = std::move(wires[i]);
    }
}

int SftpClient::listDirectory(const std::string& pattern, int filter, std::vector<std::string>* names,
                              std::vector<int>* attributes, std::vector<int64_t>* sizes,
                              std::vector<RemoteTime>* times) {
    return ftp::listMatching(
        pattern, filter, [&](const std::string& directory) { return listEntries(directory); },
        {names, attributes, sizes, times});
}
