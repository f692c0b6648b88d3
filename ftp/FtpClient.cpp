#include "ftp/FtpClient.h"

#include "ftp/AbortSignal.h"
#include "ftp/ControlConnection.h"
#include "ftp/DataConnection.h"
#include "ftp/Deadline.h"
#include "ftp/ListingParser.h"
#include "ftp/NamePattern.h"
#include "ftp/PartialFile.h"
#include "ftp/TlsContext.h"
#include "ftp/WireNames.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// QUIT is a courtesy: do not hold a closing window up for long.
constexpr int kQuitReplyTimeoutMs = 2000;
// After a transfer was cut (its deadline passed, or we stopped reading),
// the server gets this long to answer, so the connection can be kept.
constexpr int kReplyAfterCutMs = 1000;
// A listing is held in memory, so it is bounded in bytes as well as in
// entries (ftp::kMaxListingEntries): 128 bytes a line at the entry cap (a
// plain Unix line is about 70).
using ftp::kMaxListingEntries;
constexpr std::size_t kMaxListingBytes = std::size_t{128} << 20;
constexpr std::size_t kShortListingBytes = std::size_t{4} << 20;
// Lines that name no entry ("total", blank lines) are few; a listing
// with many more lines than the entry cap is cut while it arrives.
constexpr std::size_t kMaxListingLines = kMaxListingEntries + 4096;
constexpr int kDefaultFtpPort = 21;
// Servers on this port speak TLS from the first byte (implicit TLS).
constexpr int kImplicitTlsPort = 990;
constexpr int kFilterBits = 0x37;

bool writeWhole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Removes the CR of every CR LF pair, also across chunk borders.
class TextModeDownload {
public:
    explicit TextModeDownload(int fd) : fd_(fd) {}
    bool write(const char* data, std::size_t size) {
        out_.clear();
        for (std::size_t i = 0; i < size; ++i) {
            if (pendingCr_ && data[i] != '\n')
                out_ += '\r';
            pendingCr_ = data[i] == '\r';
            if (!pendingCr_)
                out_ += data[i];
        }
        return writeWhole(fd_, out_.data(), out_.size());
    }
    bool finish() { return !pendingCr_ || writeWhole(fd_, "\r", 1); }

private:
    int fd_;
    bool pendingCr_ = false;
    std::string out_;
};

// Turns lone LF into CR LF.
class TextModeUpload {
public:
    explicit TextModeUpload(int fd) : fd_(fd) {}
    long read(char* buffer, std::size_t size) {
        std::vector<char> raw(size / 2);
        ssize_t n;
        do {
            n = ::read(fd_, raw.data(), raw.size());
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            return static_cast<long>(n);
        std::size_t out = 0;
        for (ssize_t i = 0; i < n; ++i) {
            if (raw[i] == '\n' && !previousCr_)
                buffer[out++] = '\r';
            buffer[out++] = raw[i];
            previousCr_ = raw[i] == '\r';
        }
        return static_cast<long>(out);
    }

private:
    int fd_;
    bool previousCr_ = false;
};

// Opens a file to upload only when it is a regular file, a link being
// followed to one. Nothing here can block: a FIFO, socket or device is
// refused by its stat before any open, and one put in the file's place in
// between is opened without waiting and refused by the check on what was
// opened. O_NONBLOCK changes nothing for reads of a regular file.
int openRegularFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// "213 1234": the digits, -1 when there are none.
int64_t parseSizeReply(const std::string& text) {
    int64_t value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && digits < 18 && text[digits] >= '0' && text[digits] <= '9')
        value = value * 10 + (text[digits++] - '0');
    return digits > 0 ? value : -1;
}

long readSome(int fd, char* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

} // namespace

namespace ftp {

namespace {

std::size_t countLines(const char* bytes, std::size_t size) {
    std::size_t lines = 0;
    const char* end = bytes + size;
    while (const void* lf = std::memchr(bytes, '\n', static_cast<std::size_t>(end - bytes))) {
        ++lines;
        bytes = static_cast<const char*>(lf) + 1;
    }
    return lines;
}

} // namespace

// The bytes of one listing, gathered up to the caps: past them the sink
// refuses and the transfer is cut.
struct ListingBytes {
    std::string data;
    std::size_t lines = 0;
    bool overLimit = false;

    bool add(const char* bytes, std::size_t size) {
        lines += countLines(bytes, size);
        if (data.size() + size > kMaxListingBytes || lines > kMaxListingLines) {
            overLimit = true;
            return false;
        }
        try {
            // A long listing takes room for the largest one allowed at once:
            // it is then never copied again while it grows, and pages never
            // written cost no memory.
            if (data.size() + size > kShortListingBytes && data.capacity() < kMaxListingBytes)
                data.reserve(kMaxListingBytes);
            data.append(bytes, size);
        } catch (const std::bad_alloc&) {
            overLimit = true;
            return false;
        }
        return true;
    }
};

} // namespace ftp

FtpClient::FtpClient()
    : abort_(std::make_unique<ftp::AbortSignal>()),
      control_(std::make_unique<ftp::ControlConnection>(*abort_)),
      names_(std::make_unique<ftp::WireNames>()),
      features_(std::make_unique<ftp::ServerFeatures>()) {}

FtpClient::~FtpClient() {
    std::lock_guard<std::mutex> lock(mutex_);
    closeConnectionLocked(!abort_->raised());
}

bool FtpClient::openSession() {
    return true;
}

void FtpClient::setTimeouts(const FtpTimeouts& timeouts) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    timeouts_ = timeouts;
}

FtpTimeouts FtpClient::timeouts() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return timeouts_;
}

bool FtpClient::isPassive() const {
    return passive_.load();
}

void FtpClient::setTlsRequired(bool required) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    tlsRequired_ = required;
}

bool FtpClient::tlsRequired() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return tlsRequired_;
}

void FtpClient::setTrustedCertificates(const std::string& pemFile) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    trustFile_ = pemFile;
}

void FtpClient::setCertificateCheck(ftp::CertificateCheck check) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    certificateCheck_ = std::move(check);
}

ConnectionSecurity FtpClient::security() const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return security_;
}

void FtpClient::noteSecurityFailure(SecurityFailure failure) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    security_.failure = failure;
}

bool FtpClient::isConnected() const {
    return connected_.load() && !abort_->raised();
}

void FtpClient::abort() {
    abort_->raise();
}

void FtpClient::abortRunningOperation() {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        abort_->raise();
}

// Start of every remote operation: takes the time-outs, carries out an
// abort that arrived while nothing ran, and says whether there is a
// connection to work on.
bool FtpClient::readyLocked() {
    active_ = timeouts();
    deadline_ = ftp::Deadline();
    control_->setSendTimeout(active_.replyMs);
    if (abort_->consume())
        closeConnectionLocked(false);
    return connected_.load() && control_->isOpen();
}

// End of every remote operation: a connection that can no longer be trusted
// (time-out, broken reply, 421, abort) is closed.
void FtpClient::finishLocked() {
    if (abort_->consume() || control_->lost())
        closeConnectionLocked(false);
}

void FtpClient::closeConnectionLocked(bool sayGoodbye) {
    if (sayGoodbye && connected_.load() && control_->isOpen()) {
        ftp::FtpReply reply;
        if (control_->send("QUIT"))
            control_->readReply(reply, std::min(active_.replyMs, kQuitReplyTimeoutMs));
    }
    control_->close();
    connected_ = false;
    dataProtected_ = false;
    serverFingerprint_.clear();
}

bool FtpClient::connect(const std::string& address, const std::string& user, const std::string& password,
                        int port, bool passive) {
    std::unique_lock<std::mutex> lock(mutex_);
    readyLocked();
    closeConnectionLocked(true);
    const uint64_t attempt = ++connectAttempt_;
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        security_ = ConnectionSecurity{};
    }
    if (!openSession() || address.empty() || !ftp::isSafeCommandText(address))
        return false;
    if (port == 0)
        port = kDefaultFtpPort;
    if (port < 0 || port > 65535)
        return false;
    if (!control_->open(address, port, active_.connectMs)) {
        finishLocked();
        control_->close();
        return false;
    }
    host_ = address;
    const bool implicitTls = port == kImplicitTlsPort;
    ftp::FtpReply greeting;
    bool ok = (!implicitTls || secureControlLocked(lock, address, port)) &&
              control_->readFinalReply(greeting, active_.replyMs) && greeting.isSuccess() &&
              (implicitTls || negotiateTlsLocked(lock, address, port)) &&
              loginLocked(user.empty() ? "anonymous" : user, password) &&
              (!control_->socket().isTls() || protectDataLocked());
    // A connect that waited for a certificate decision may find that a
    // later connect owns the client now.
    if (attempt != connectAttempt_)
        return false;
    if (ok) {
        readFeaturesLocked();
        ok = !control_->lost();
    }
    if (ok && !abort_->raised()) {
        passive_ = passive;
        enteredWire_.clear();
        epsvRefused_ = false;
        mlsdUnsupported_ = false;
        type_ = 0;
        connected_ = true;
        ensureTypeLocked('I');
    }
    finishLocked();
    if (!connected_.load())
        control_->close();
    return connected_.load();
}

// AUTH TLS: "234" upgrades the connection; any refusal leaves it in clear,
// which is refused in turn when TLS is required.
bool FtpClient::negotiateTlsLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port) {
    ftp::FtpReply reply;
    if (!control_->command("AUTH TLS", reply, active_.replyMs))
        return false;
    if (reply.code == 234)
        return secureControlLocked(lock, host, port);
    if (!tlsRequired())
        return true;
    noteSecurityFailure(SecurityFailure::TlsNotOffered);
    return false;
}

bool FtpClient::secureControlLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port) {
    ftp::TlsContext* context = tlsContextLocked();
    if (!context || !control_->secure(*context, host, active_.replyMs)) {
        noteSecurityFailure(SecurityFailure::HandshakeFailed);
        return false;
    }
    ftp::ServerCertificate certificate = control_->socket().tls()->certificate();
    if (!certificate.verified() && !acceptCertificateLocked(lock, host, port, certificate))
        return false;
    serverFingerprint_ = certificate.fingerprint;
    std::lock_guard<std::mutex> settings(settingsMutex_);
    security_.controlProtected = true;
    security_.tlsVersion = control_->socket().tls()->version();
    return true;
}

// The question may take the user a while: the client is left free
// meanwhile, so a disconnect (or closing the window) is not held up; it
// ends this connect.
bool FtpClient::acceptCertificateLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port,
                                        const ftp::ServerCertificate& certificate) {
    ftp::CertificateCheck check;
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        check = certificateCheck_;
    }
    const uint64_t attempt = connectAttempt_;
    bool accepted = false;
    if (check) {
        lock.unlock();
        accepted = check(host, port, certificate);
        lock.lock();
    }
    if (attempt != connectAttempt_)
        return false;
    if (!accepted)
        noteSecurityFailure(SecurityFailure::CertificateRejected);
    return accepted && control_->isOpen() && !abort_->raised();
}

// PBSZ 0 is what PROT needs first; PROT P protects every data connection.
bool FtpClient::protectDataLocked() {
    ftp::FtpReply reply;
    if (!control_->command("PBSZ 0", reply, active_.replyMs) || !control_->command("PROT P", reply, active_.replyMs))
        return false;
    if (reply.isSuccess()) {
        dataProtected_ = true;
        std::lock_guard<std::mutex> settings(settingsMutex_);
        security_.dataProtected = true;
        return true;
    }
    if (!tlsRequired())
        return true;
    noteSecurityFailure(SecurityFailure::DataProtectionRefused);
    return false;
}

ftp::TlsContext* FtpClient::tlsContextLocked() {
    std::string trustFile;
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        trustFile = trustFile_;
    }
    if (!tlsContext_ || tlsContext_->trustFile() != trustFile)
        tlsContext_ = std::make_unique<ftp::TlsContext>(trustFile);
    return tlsContext_->valid() ? tlsContext_.get() : nullptr;
}

ftp::DataProtection FtpClient::dataProtectionLocked() const {
    ftp::DataProtection protection;
    protection.context = tlsContext_.get();
    protection.hostName = host_;
    protection.session = control_->socket().tls()->session();
    protection.fingerprint = serverFingerprint_;
    return protection;
}

bool FtpClient::loginLocked(const std::string& user, const std::string& password) {
    ftp::FtpReply reply;
    if (!control_->command("USER " + user, reply, active_.replyMs))
        return false;
    if (reply.code == 331 && !control_->command("PASS " + password, reply, active_.replyMs))
        return false;
    return reply.isSuccess();
}

void FtpClient::readFeaturesLocked() {
    ftp::FtpReply reply;
    *features_ = ftp::ServerFeatures{};
    if (control_->command("FEAT", reply, active_.replyMs))
        *features_ = ftp::parseFeatures(reply);
    {
        std::lock_guard<std::mutex> names(namesMutex_);
        names_->reset(features_->utf8);
    }
    mlst_ = features_->mlst;
    // Some servers switch to UTF-8 only when asked; a refusal is harmless.
    if (features_->utf8 && !control_->lost())
        control_->command("OPTS UTF8 ON", reply, active_.replyMs);
}

void FtpClient::disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    readyLocked();
    closeConnectionLocked(true);
}

bool FtpClient::ensureTypeLocked(char type) {
    if (type_ == type)
        return true;
    ftp::FtpReply reply;
    if (!control_->command(std::string("TYPE ") + type, reply, active_.replyMs) || !reply.isSuccess())
        return false;
    type_ = type;
    return true;
}

// Bytes the caller took with the path are sent as they are; otherwise the
// path goes by the connection's name rules.
bool FtpClient::toWireLocked(const RemoteName& path, std::string& wire) const {
    if (path.empty() || !ftp::isSafeCommandText(path.path))
        return false;
    if (!path.wire.empty()) {
        wire = path.wire;
    } else {
        std::lock_guard<std::mutex> names(namesMutex_);
        wire = names_->pathToWire(path.path);
    }
    return !wire.empty() && ftp::isSafeCommandText(wire);
}

std::string FtpClient::wirePath(const std::string& path) const {
    std::lock_guard<std::mutex> names(namesMutex_);
    return names_->pathToWire(path);
}

std::string FtpClient::wirePathBelow(const RemoteName& folder, const std::string& relative) const {
    return wirePathsBelow(folder, {relative}).front();
}

std::vector<std::string> FtpClient::wirePathsBelow(const RemoteName& folder,
                                                   const std::vector<std::string>& names) const {
    std::lock_guard<std::mutex> lock(namesMutex_);
    const std::string folderWire = folder.wire.empty() ? names_->pathToWire(folder.path) : folder.wire;
    std::vector<std::string> wires;
    wires.reserve(names.size());
    for (const std::string& name : names)
        wires.push_back(names_->pathBelowToWire(folder.path, folderWire, name));
    return wires;
}

bool FtpClient::commandLocked(const std::string& verb, const RemoteName& path, std::string& wire,
                              ftp::FtpReply& reply) {
    return toWireLocked(path, wire) && control_->command(verb + " " + wire, reply, active_.replyMs) &&
           reply.isSuccess();
}

bool FtpClient::simpleCommandLocked(const std::string& verb, const RemoteName& path) {
    std::string wire;
    ftp::FtpReply reply;
    return commandLocked(verb, path, wire, reply);
}

bool FtpClient::deleteFile(const RemoteName& remoteName) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool ok = readyLocked() && simpleCommandLocked("DELE", remoteName);
    finishLocked();
    return ok;
}

bool FtpClient::makeDirectory(const RemoteName& dir) {
    std::string createdName;
    return makeDirectory(dir, createdName);
}

bool FtpClient::makeDirectory(const RemoteName& dir, std::string& createdName) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string wire;
    ftp::FtpReply reply;
    const bool ok = readyLocked() && commandLocked("MKD", dir, wire, reply);
    createdName = ftp::lastPathName(dir.path);
    std::string created;
    if (ok && reply.code == 257 && ftp::parseQuotedPath(reply.text(), created, wire)) {
        std::lock_guard<std::mutex> names(namesMutex_);
        const std::string name = ftp::lastPathName(names_->pathFromWire(created));
        if (!name.empty())
            createdName = name;
    }
    finishLocked();
    return ok;
}

bool FtpClient::removeDirectory(const RemoteName& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool ok = readyLocked() && simpleCommandLocked("RMD", dir);
    finishLocked();
    return ok;
}

bool FtpClient::enterLocked(const RemoteName& dir) {
    std::string wire;
    ftp::FtpReply reply;
    if (!commandLocked("CWD", dir, wire, reply))
        return false;
    enteredWire_ = !wire.empty() && wire[0] == '/' ? wire : std::string();
    return true;
}

bool FtpClient::setCurrentDirectory(const RemoteName& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = readyLocked() && enterLocked(dir);
    finishLocked();
    return ok;
}

bool FtpClient::renameFile(const RemoteName& oldName, const std::string& newName,
                           const RemoteName& newNameFolder) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string oldWire, newWire;
    ftp::FtpReply reply;
    bool ok = readyLocked() && (newNameFolder.empty() || enterLocked(newNameFolder)) &&
              toWireLocked(oldName, oldWire) && toWireLocked(newName, newWire) &&
              control_->command("RNFR " + oldWire, reply, active_.replyMs) && reply.code == 350 &&
              control_->command("RNTO " + newWire, reply, active_.replyMs) && reply.isSuccess();
    finishLocked();
    return ok;
}

std::string FtpClient::currentDirectory() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string path;
    ftp::FtpReply reply;
    if (readyLocked() && control_->command("PWD", reply, active_.replyMs) && reply.code == 257 &&
        ftp::parseQuotedPath(reply.text(), path, enteredWire_)) {
        std::lock_guard<std::mutex> names(namesMutex_);
        path = names_->pathFromWire(path);
    } else {
        path.clear();
    }
    finishLocked();
    return path;
}

bool FtpClient::runTransferLocked(const std::string& command,
                                  const std::function<bool(const char*, std::size_t)>* sink,
                                  const std::function<long(char*, std::size_t)>* source, int& finalCode,
                                  std::atomic<int64_t>& counter) {
    finalCode = 0;
    // At most two attempts: the second in the other mode after one mode
    // was refused (or, in active mode, the server could not connect).
    for (int attempt = 0; attempt < 2 && !deadline_.expired(); ++attempt) {
        bool active = !passive_.load();
        bool retryPassive = false;
        ftp::DataConnection data(*control_, *abort_, active_, deadline_);
        if (dataProtected_)
            data.protect(dataProtectionLocked());
        ftp::DataSetup setup = active ? data.announceActive() : data.openPassive(epsvRefused_);
        if (setup == ftp::DataSetup::Refused) {
            passive_ = active;
            continue;
        }
        if (setup != ftp::DataSetup::Ready || !control_->send(command))
            return false;

        ftp::FtpReply reply;
        bool hasReply = false;
        ftp::DataArrival arrival = data.awaitConnection(reply, hasReply);
        if (arrival == ftp::DataArrival::Connected)
            arrival = data.secure(reply, hasReply);
        if (arrival == ftp::DataArrival::Failed)
            return false;
        if (arrival == ftp::DataArrival::NeverArrived) {
            // Stop listening; the server then gives up and answers.
            data.close();
            if (!control_->readFinalReply(reply, finalReplyWaitLocked()))
                return false;
            finalCode = reply.code;
            retryPassive = !reply.isSuccess();
        } else if (arrival == ftp::DataArrival::ReplyInstead) {
            finalCode = reply.code;
            if (reply.isSuccess())
                return true;  // nothing to move (an empty listing on some servers)
            retryPassive = active && reply.code == 425;
        } else {
            bool moved = sink ? data.receiveAll(*sink, counter, reply, hasReply)
                              : data.sendAll(*source, counter, reply, hasReply);
            data.close();
            if (!hasReply && !control_->readFinalReply(reply, finalReplyWaitLocked()))
                return false;
            finalCode = reply.code;
            return moved && reply.isSuccess();
        }
        if (!retryPassive || !active)
            return false;
        passive_ = true;
    }
    return false;
}

// The wait for the reply that ends a transfer: the reply time-out, within
// what is left of the operation's deadline, but at least a short moment
// for a transfer the deadline cut, so that the connection can be kept.
int FtpClient::finalReplyWaitLocked() const {
    return std::min(active_.replyMs, std::max(deadline_.cap(active_.replyMs), kReplyAfterCutMs));
}

bool FtpClient::getFile(const RemoteName& remoteName, const std::string& localPath, bool textMode,
                        int64_t expectedSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred_ = 0;
    std::string wire;
    ftp::PartialFile partial;
    if (!readyLocked() || localPath.empty() || !toWireLocked(remoteName, wire) || !partial.create(localPath)) {
        finishLocked();
        return false;
    }
    publishPartial(localPath, partial.path());
    const int fd = partial.fd();
    TextModeDownload text(fd);
    std::function<bool(const char*, std::size_t)> sink = [&](const char* data, std::size_t size) {
        return textMode ? text.write(data, size) : writeWhole(fd, data, size);
    };
    int code = 0;
    bool ok = ensureTypeLocked(textMode ? 'A' : 'I') && runTransferLocked("RETR " + wire, &sink, nullptr, code, transferred_);
    ok = ok && (!textMode || text.finish());
    // A text-mode transfer changes line ends, so its count cannot be checked.
    ok = ok && (textMode || receivedWholeFileLocked(wire, expectedSize));
    ok = partial.close() && ok;
    ok = ok && partial.commit(localPath);
    if (!ok)
        partial.discard();
    finishLocked();
    return ok;
}

// The byte count of a download against the size the server announced in
// its preliminary reply, else the size the caller knows from the listing,
// else the server's SIZE (only then an extra round trip). SIZE is asked
// whatever FEAT said: old servers answer it without listing it.
bool FtpClient::receivedWholeFileLocked(const std::string& wire, int64_t expectedSize) {
    int64_t expected = control_->announcedSize();
    if (expected < 0)
        expected = expectedSize;
    if (expected < 0) {
        ftp::FtpReply reply;
        if (control_->command("SIZE " + wire, reply, active_.replyMs) && reply.code == 213)
            expected = parseSizeReply(reply.text());
    }
    return expected < 0 || expected == transferred_.load();
}

void FtpClient::publishPartial(const std::string& localPath, const std::string& partialPath) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    partialTarget_ = localPath;
    partialPath_ = partialPath;
}

std::string FtpClient::partialPathFor(const std::string& localPath) const {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return localPath == partialTarget_ ? partialPath_ : std::string();
}

bool FtpClient::putFile(const std::string& localPath, const RemoteName& remoteName, bool textMode) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred_ = 0;
    std::string wire;
    if (!readyLocked() || !toWireLocked(remoteName, wire)) {
        finishLocked();
        return false;
    }
    int fd = openRegularFile(localPath);
    if (fd < 0) {
        finishLocked();
        return false;
    }
    TextModeUpload text(fd);
    std::function<long(char*, std::size_t)> source = [&](char* buffer, std::size_t size) {
        return textMode ? text.read(buffer, size) : readSome(fd, buffer, size);
    };
    int code = 0;
    bool ok = ensureTypeLocked(textMode ? 'A' : 'I') && runTransferLocked("STOR " + wire, nullptr, &source, code, transferred_);
    if (ok) {
        std::lock_guard<std::mutex> names(namesMutex_);
        names_->noteSent(remoteName.path, wire);
    }
    ::close(fd);
    finishLocked();
    return ok;
}

bool FtpClient::listLocked(const RemoteName& directory, bool mlsd, ftp::ListingBytes& bytes, int& finalCode) {
    std::string command = mlsd ? "MLSD" : "LIST";
    if (!directory.empty()) {
        std::string wire;
        if (!toWireLocked(directory, wire))
            return false;
        command += " " + wire;
    }
    bytes = ftp::ListingBytes{};
    std::function<bool(const char*, std::size_t)> sink = [&](const char* data, std::size_t size) {
        return bytes.add(data, size);
    };
    return runTransferLocked(command, &sink, nullptr, finalCode, listingBytes_);
}

bool FtpClient::fetchListingLocked(const RemoteName& directory, ftp::ParsedListing& parsed, bool& mlsd,
                                   bool& overLimit) {
    ftp::ListingBytes bytes;
    int code = 0;
    mlsd = listsWithMlsd();
    bool ok = listLocked(directory, mlsd, bytes, code);
    if (!ok && mlsd && !bytes.overLimit && !control_->lost() && !abort_->raised() && !deadline_.expired()) {
        // Not implemented (500-504): use LIST for the rest of the connection.
        if (code >= 500 && code <= 504)
            mlsdUnsupported_ = true;
        mlsd = false;
        ok = listLocked(directory, false, bytes, code);
    }
    overLimit = bytes.overLimit;
    parsed = {};
    if (!ok)
        return false;
    try {
        parsed = ftp::readListing(bytes.data, mlsd, ftp::todayForListings());
    } catch (const std::bad_alloc&) {
        parsed = {};
        overLimit = true;
        return false;
    }
    if (parsed.entries.size() > kMaxListingEntries) {
        parsed = {};
        overLimit = true;
        return false;
    }
    return true;
}

// A folder of an MLSD listing stays a folder only when LIST, which shows
// links as links on every server we know, shows it as a directory too.
void FtpClient::markUnconfirmedFoldersLocked(const RemoteName& directory,
                                             std::vector<ftp::ListingEntry>& entries) {
    ftp::ListingBytes bytes;
    int code = 0;
    std::unordered_map<std::string, int> listed;
    if (listLocked(directory, false, bytes, code))
        for (const ftp::ListingEntry& e : ftp::parseListing(bytes.data, false, ftp::todayForListings()))
            listed.emplace(e.wireName, e.attributes);
    for (ftp::ListingEntry& entry : entries) {
        if (!(entry.attributes & ftp::kAttrDirectory) || (entry.attributes & ftp::kAttrLink))
            continue;
        auto found = listed.find(entry.wireName);
        const bool realFolder = found != listed.end() && (found->second & ftp::kAttrDirectory) &&
                                !(found->second & ftp::kAttrLink);
        if (!realFolder)
            entry.attributes |= ftp::kAttrLink;
    }
}

bool FtpClient::listsWithMlsd() const {
    return mlst_.load() && !mlsdUnsupported_.load();
}

DirectoryListing FtpClient::listEntries(const RemoteName& directory, bool confirmFolders) {
    std::lock_guard<std::mutex> lock(mutex_);
    DirectoryListing listing;
    ftp::ParsedListing parsed;
    std::vector<ftp::ListingEntry>& entries = parsed.entries;
    bool mlsd = false;
    if (readyLocked() && ftp::isSafeCommandText(directory.path) && ftp::isSafeCommandText(directory.wire)) {
        // The whole listing, a second LIST for the folders included, ends
        // by this deadline however slowly the server sends.
        deadline_ = ftp::Deadline::in(active_.listingMs);
        if (fetchListingLocked(directory, parsed, mlsd, listing.overLimit)) {
            listing.unreadableLines = parsed.unreadableLines;
            const bool hasFolder = std::any_of(entries.begin(), entries.end(), [](const ftp::ListingEntry& e) {
                return (e.attributes & ftp::kAttrDirectory) && !(e.attributes & ftp::kAttrLink);
            });
            if (confirmFolders && mlsd && hasFolder)
                markUnconfirmedFoldersLocked(directory, entries);
            try {
                listing.entries = namedEntriesLocked(directory.path, entries);
                listing.complete = true;
            } catch (const std::bad_alloc&) {
                listing.entries = {};
                listing.overLimit = true;
            }
        }
    }
    finishLocked();
    return listing;
}

// The entries with their shown names. A listing can hold a million
// entries: each is moved, not copied, and every intermediate array is let
// go as soon as it is used.
std::vector<RemoteEntry> FtpClient::namedEntriesLocked(const std::string& directory,
                                                       std::vector<ftp::ListingEntry>& listed) {
    std::vector<RemoteEntry> entries(listed.size());
    std::vector<std::string> wires(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        entries[i].attributes = listed[i].attributes;
        entries[i].size = listed[i].size;
        entries[i].time = listed[i].time;
        wires[i] = std::move(listed[i].wireName);
    }
    std::vector<ftp::ListingEntry>().swap(listed);
    std::vector<ftp::ListedName> names;
    {
        std::lock_guard<std::mutex> lock(namesMutex_);
        names = names_->namesOfListing(directory, wires);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        RemoteEntry& entry = entries[i];
        if (names[i].name != wires[i])
            entry.wireName = wires[i];
        // A local copy is named like the shown name, or in the server's own
        // bytes when the shown name had to escape them.
        if (names[i].escaped || names[i].name == wires[i])
            entry.localName = std::move(wires[i]);
        else
            entry.localName = names[i].name;
        entry.name = std::move(names[i].name);
    }
    return entries;
}

int FtpClient::listDirectory(const std::string& pattern, int filter, std::vector<std::string>* names,
                             std::vector<int>* attributes, std::vector<int64_t>* sizes,
                             std::vector<RemoteTime>* times) {
    if (filter != -1)
        filter &= kFilterBits;
    if (names) names->clear();
    if (attributes) attributes->clear();
    if (sizes) sizes->clear();
    if (times) times->clear();
    if (!ftp::isSafeCommandText(pattern))
        return 0;

    ftp::SplitPattern split = ftp::splitPattern(pattern);
    int count = 0;
    for (RemoteEntry& entry : listEntries(split.directory).entries) {
        if (!ftp::matchesMask(entry.name, split.mask))
            continue;
        bool keep = filter == -1 || (filter == 0 && entry.attributes == 0) || (filter & entry.attributes) != 0;
        if (!keep)
            continue;
        if (names) names->push_back(std::move(entry.name));
        if (attributes) attributes->push_back(entry.attributes);
        if (sizes) sizes->push_back(entry.size);
        if (times) times->push_back(entry.time);
        ++count;
    }
    return count;
}
