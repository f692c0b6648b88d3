#include "ftp/FtpClient.h"

#include "ftp/AbortSignal.h"
#include "ftp/ControlConnection.h"
#include "ftp/DataConnection.h"
#include "ftp/Deadline.h"
#include "ftp/DownloadResume.h"
#include "ftp/ListingParser.h"
#include "ftp/NamePattern.h"
#include "ftp/PartialFile.h"
#include "ftp/TlsContext.h"
#include "ftp/WireNames.h"
#include "platform/FileDescriptors.h"

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
using ftp::kMaxListingEntries;
using ftp::kMaxListingBytes;
constexpr std::size_t kShortListingBytes = std::size_t{4} << 20;
// Lines that name no entry ("total", blank lines) are few; a listing
// with many more lines than the entry cap is cut while it arrives.
constexpr std::size_t kMaxListingLines = kMaxListingEntries + 4096;
constexpr int kDefaultFtpPort = 21;
// Servers on this port speak TLS from the first byte (implicit TLS).
constexpr int kImplicitTlsPort = 990;

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
        return platform::writeAll(fd_, out_.data(), out_.size());
    }
    bool finish() { return !pendingCr_ || platform::writeAll(fd_, "\r", 1); }

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

void FtpClient::setClearLoginCheck(ftp::ClearLoginCheck check) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    clearLoginCheck_ = std::move(check);
}

void FtpClient::setVerifiedServerNote(ftp::VerifiedServerNote note) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    verifiedServerNote_ = std::move(note);
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
    control_->forgetLastReply();
    failure_ = TransferFailure::None;
    fallback_ = TransferFailure::Permanent;
    connecting_ = false;
    if (abort_->consume()) {
        closeConnectionLocked(false);
        failure_ = TransferFailure::Aborted;
    }
    const bool ready = connected_.load() && control_->isOpen();
    // Without a connection: one that was lost can be made again.
    if (!ready && failure_ == TransferFailure::None)
        failure_ = target_ ? TransferFailure::Transient : TransferFailure::Permanent;
    return ready;
}

bool FtpClient::finishLocked(bool ok) {
    noteFailure(ok ? TransferFailure::None : failureLocked());
    closeIfBrokenLocked();
    return ok;
}

// A connection that can no longer be trusted (time-out, broken reply, 421,
// abort) is closed.
void FtpClient::closeIfBrokenLocked() {
    if (abort_->consume() || control_->lost())
        closeConnectionLocked(false);
}

void FtpClient::closeConnectionLocked(bool sayGoodbye) {
    if (sayGoodbye && connected_.load() && control_->isOpen()) {
        ftp::FtpReply reply;
        if (control_->send("QUIT"))
            control_->readReply(reply, std::min(active_.replyMs, kQuitReplyTimeoutMs));
    }
    if (connected_.load())
        keepResumableSessionLocked();
    control_->close();
    connected_ = false;
    dataProtected_ = false;
    serverFingerprint_.clear();
}

// reconnect() offers the session to the same server. It is taken once the
// login is through (TLS 1.3 tickets come after the handshake) and again at
// the close: a connection that was cut rather than closed leaves a session
// OpenSSL no longer resumes, and the earlier copy is kept instead.
void FtpClient::keepResumableSessionLocked() {
    if (!control_->socket().isTls())
        return;
    if (ftp::TlsSession session = control_->socket().tls()->resumableSession())
        resumeSession_ = std::move(session);
}

bool FtpClient::connect(const std::string& address, const std::string& user, const std::string& password,
                        int port, bool passive) {
    return connectWith(-1, address, user, password, port, passive);
}

bool FtpClient::connectOnSocket(int fd, const std::string& address, const std::string& user,
                                const std::string& password, int port, bool passive) {
    if (fd < 0) {
        noteFailure(TransferFailure::Permanent);
        return false;
    }
    return connectWith(fd, address, user, password, port, passive);
}

// A first connect: nothing of an earlier connection carries over. fd >= 0
// is the connection to use, else one is made.
bool FtpClient::connectWith(int fd, const std::string& address, const std::string& user,
                            const std::string& password, int port, bool passive) {
    std::unique_lock<std::mutex> lock(mutex_);
    readyLocked();
    closeConnectionLocked(true);
    target_ = ConnectTarget{address, user, password, port, passive, tlsRequired()};
    acceptedFingerprint_.clear();
    resumeSession_.reset();
    returnWire_.clear();
    bool superseded = false;
    const bool ok = openConnectionLocked(lock, false, superseded, fd);
    if (superseded) {
        noteFailure(TransferFailure::Aborted);
        return false;
    }
    finishLocked(ok);
    if (!connected_.load())
        control_->close();
    return connected_.load();
}

bool FtpClient::reconnect() {
    std::unique_lock<std::mutex> lock(mutex_);
    // An abort raised while nothing ran is meant for what comes next.
    const bool abortPending = abort_->raised();
    readyLocked();
    if (abortPending) {
        noteFailure(TransferFailure::Aborted);
        return false;
    }
    if (!target_) {
        failure_ = TransferFailure::Permanent;
        return finishLocked(false);
    }
    closeConnectionLocked(true);
    bool superseded = false;
    bool ok = openConnectionLocked(lock, true, superseded);
    if (superseded) {
        noteFailure(TransferFailure::Aborted);
        return false;
    }
    ok = ok && returnToDirectoryLocked();
    finishLocked(ok);
    if (!ok)
        closeConnectionLocked(connected_.load());
    return ok && connected_.load();
}

// Connects to target_ and logs in. superseded: a connect that waited for
// a certificate decision found that a later connect owns the client now.
bool FtpClient::openConnectionLocked(std::unique_lock<std::mutex>& lock, bool reconnecting, bool& superseded,
                                     int fd) {
    superseded = false;
    failure_ = TransferFailure::None;
    const uint64_t attempt = ++connectAttempt_;
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        security_ = ConnectionSecurity{};
    }
    const ConnectTarget target = *target_;
    const int port = target.port == 0 ? kDefaultFtpPort : target.port;
    if (!openSession() || target.address.empty() || !ftp::isSafeCommandText(target.address) || port < 0 ||
        port > 65535) {
        if (fd >= 0)
            ::close(fd);
        failure_ = TransferFailure::Permanent;
        return false;
    }
    requireTls_ = target.tlsRequired;
    reconnecting_ = reconnecting;
    connecting_ = true;
    control_->forgetLastReply();
    const bool opened = fd >= 0 ? control_->adopt(fd) : control_->open(target.address, port, active_.connectMs);
    if (!opened) {
        failure_ = TransferFailure::Transient;
        return false;
    }
    host_ = target.address;
    const bool implicitTls = port == kImplicitTlsPort;
    ftp::FtpReply greeting;
    bool ok = (!implicitTls || secureControlLocked(lock, target.address, port)) &&
              control_->readFinalReply(greeting, active_.replyMs) && greeting.isSuccess() &&
              (implicitTls || negotiateTlsLocked(lock, target.address, port)) &&
              loginLocked(target.user.empty() ? "anonymous" : target.user, target.password) &&
              (!control_->socket().isTls() || protectDataLocked());
    if (attempt != connectAttempt_) {
        superseded = true;
        return false;
    }
    if (security().failure != SecurityFailure::None)
        failure_ = TransferFailure::Permanent;
    if (ok) {
        readFeaturesLocked(reconnecting);
        ok = !control_->lost();
    }
    if (ok && !abort_->raised()) {
        // A reconnect keeps what this server taught the last connection.
        if (!reconnecting) {
            passive_ = target.passive;
            epsvRefused_ = false;
            mlsdUnsupported_ = false;
        }
        enteredWire_.clear();
        type_ = 0;
        connected_ = true;
        ensureTypeLocked('I');
        keepResumableSessionLocked();
    }
    return connected_.load();
}

// Back into the directory the lost connection was in.
bool FtpClient::returnToDirectoryLocked() {
    if (returnWire_.empty())
        return true;
    ftp::FtpReply reply;
    if (!control_->command("CWD " + returnWire_, reply, active_.replyMs) || !reply.isSuccess())
        return false;
    enteredWire_ = returnWire_;
    return true;
}

// AUTH TLS: "234" upgrades the connection; any refusal leaves it in clear,
// which is refused in turn when TLS is required, and otherwise may need
// the user's consent.
bool FtpClient::negotiateTlsLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port) {
    ftp::FtpReply reply;
    if (!control_->command("AUTH TLS", reply, active_.replyMs))
        return false;
    if (reply.code == 234)
        return secureControlLocked(lock, host, port);
    if (control_->lost())
        return false;
    if (!requireTls_)
        return allowClearLoginLocked(lock, host, port);
    noteSecurityFailure(SecurityFailure::TlsNotOffered);
    return false;
}

// Someone between us and a server that used to speak TLS can strip it by
// refusing AUTH TLS in the server's name; the check decides (asking the
// user when the server is known to speak TLS) before the password goes
// out in clear.
bool FtpClient::allowClearLoginLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port) {
    ftp::ClearLoginCheck check;
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        check = clearLoginCheck_;
    }
    if (!check)
        return true;
    return askUserLocked(lock, [&] { return check(host, port); }, SecurityFailure::ClearLoginRefused);
}

bool FtpClient::secureControlLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port) {
    ftp::TlsContext* context = tlsContextLocked();
    const ftp::TlsSession resume = reconnecting_ ? resumeSession_ : ftp::TlsSession();
    if (!context || !control_->secure(*context, host, active_.replyMs, resume)) {
        noteSecurityFailure(SecurityFailure::HandshakeFailed);
        return false;
    }
    ftp::ServerCertificate certificate = control_->socket().tls()->certificate();
    if (!certificate.verified() && !acceptCertificateLocked(lock, host, port, certificate))
        return false;
    if (certificate.verified())
        noteVerifiedServer(host, port);
    serverFingerprint_ = certificate.fingerprint;
    std::lock_guard<std::mutex> settings(settingsMutex_);
    security_.controlProtected = true;
    security_.protection = control_->socket().tls()->version();
    return true;
}

bool FtpClient::acceptCertificateLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port,
                                        const ftp::ServerCertificate& certificate) {
    // The user already said yes to this very certificate for this server.
    if (reconnecting_ && !acceptedFingerprint_.empty() && certificate.fingerprint == acceptedFingerprint_)
        return control_->isOpen() && !abort_->raised();
    ftp::CertificateCheck check;
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        check = certificateCheck_;
    }
    const bool accepted = askUserLocked(lock, [&] { return check && check(host, port, certificate); },
                                        SecurityFailure::CertificateRejected);
    if (accepted)
        acceptedFingerprint_ = certificate.fingerprint;
    return accepted;
}

// A question may take the user a while: the client is left free
// meanwhile, so a disconnect (or closing the window) is not held up; it
// ends this connect. A No is noted as the reason the connect failed.
bool FtpClient::askUserLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& question,
                              SecurityFailure refused) {
    const uint64_t attempt = connectAttempt_;
    lock.unlock();
    const bool yes = question();
    lock.lock();
    if (attempt != connectAttempt_)
        return false;
    if (!yes)
        noteSecurityFailure(refused);
    return yes && control_->isOpen() && !abort_->raised();
}

void FtpClient::noteVerifiedServer(const std::string& host, int port) {
    ftp::VerifiedServerNote note;
    {
        std::lock_guard<std::mutex> settings(settingsMutex_);
        note = verifiedServerNote_;
    }
    if (note)
        note(host, port);
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
    if (!requireTls_)
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

void FtpClient::readFeaturesLocked(bool keepNames) {
    ftp::FtpReply reply;
    const bool wasUtf8 = features_->utf8;
    *features_ = ftp::ServerFeatures{};
    if (control_->command("FEAT", reply, active_.replyMs))
        *features_ = ftp::parseFeatures(reply);
    // Names learned from listings stay valid on a new connection to the
    // same server that speaks the same encoding.
    if (!keepNames || wasUtf8 != features_->utf8) {
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
    // The user ended the connection: nothing to make again.
    target_.reset();
    acceptedFingerprint_.clear();
    resumeSession_.reset();
    returnWire_.clear();
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
    return names_->pathsBelowToWire(folder.path, folder.wire, names);
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
    return finishLocked(ok);
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
    return finishLocked(ok);
}

bool FtpClient::removeDirectory(const RemoteName& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool ok = readyLocked() && simpleCommandLocked("RMD", dir);
    return finishLocked(ok);
}

bool FtpClient::enterLocked(const RemoteName& dir) {
    std::string wire;
    ftp::FtpReply reply;
    if (!commandLocked("CWD", dir, wire, reply))
        return false;
    enteredWire_ = !wire.empty() && wire[0] == '/' ? wire : std::string();
    returnWire_ = enteredWire_;  // after a relative one, known again at the next PWD
    return true;
}

bool FtpClient::setCurrentDirectory(const RemoteName& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ok = readyLocked() && enterLocked(dir);
    return finishLocked(ok);
}

bool FtpClient::renameFile(const RemoteName& oldName, const std::string& newName,
                           const RemoteName& newNameFolder, bool) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string oldWire, newWire;
    ftp::FtpReply reply;
    bool ok = readyLocked() && (newNameFolder.empty() || enterLocked(newNameFolder)) &&
              toWireLocked(oldName, oldWire) && toWireLocked(newName, newWire) &&
              control_->command("RNFR " + oldWire, reply, active_.replyMs) && reply.code == 350 &&
              control_->command("RNTO " + newWire, reply, active_.replyMs) && reply.isSuccess();
    return finishLocked(ok);
}

std::string FtpClient::currentDirectory() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string path;
    ftp::FtpReply reply;
    if (readyLocked() && control_->command("PWD", reply, active_.replyMs) && reply.code == 257 &&
        ftp::parseQuotedPath(reply.text(), path, enteredWire_)) {
        if (path[0] == '/')
            returnWire_ = path;
        std::lock_guard<std::mutex> names(namesMutex_);
        path = names_->pathFromWire(path);
    } else {
        path.clear();
    }
    finishLocked(!path.empty());
    return path;
}

bool FtpClient::runTransferLocked(const std::string& command,
                                  const std::function<bool(const char*, std::size_t)>* sink,
                                  const std::function<long(char*, std::size_t)>* source, int& finalCode,
                                  std::atomic<int64_t>& counter, int64_t restartAt, bool* restRefused) {
    finalCode = 0;
    dataEndConfirmed_ = true;
    // Failing without a word from the server, a transfer failed for its
    // data connection: worth another try.
    fallback_ = TransferFailure::Transient;
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
        if (setup != ftp::DataSetup::Ready)
            return false;
        if (restartAt > 0) {
            // The last command before the transfer, as the restart must be.
            ftp::FtpReply reply;
            if (!control_->command("REST " + std::to_string(restartAt), reply, active_.replyMs))
                return false;
            if (reply.code != 350) {
                finalCode = reply.code;
                if (restRefused)
                    *restRefused = !control_->lost();
                return false;
            }
        }
        if (!control_->send(command))
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
            dataEndConfirmed_ = data.endConfirmed();
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
    transferStart_ = 0;
    std::string wire;
    ftp::PartialFile partial;
    ftp::DownloadResume resume;
    if (!readyLocked() || localPath.empty() || !toWireLocked(remoteName, wire) ||
        !ensureTypeLocked(textMode ? 'A' : 'I'))
        return finishLocked(false);
    if (!textMode)
        prepareResumeLocked(wire, localPath, expectedSize, partial, resume);
    bool restRefused = false;
    bool ok = openPartialLocked(localPath, partial) &&
              receiveFileLocked(wire, partial, textMode, resume.offset, restRefused);
    if (!ok && restRefused) {
        // The server will not restart: the whole file, into a new partial.
        partial.discard();
        resume.offset = 0;
        ok = openPartialLocked(localPath, partial) && receiveFileLocked(wire, partial, textMode, 0, restRefused);
    }
    // A text-mode transfer changes line ends, so its count cannot be checked:
    // only a protected stream's close_notify can tell it arrived whole.
    ok = ok && (textMode ? dataEndConfirmed_ : wholeDownloadLocked(wire, expectedSize, resume));
    const long long length = partial.length();
    if (!partial.close() || (ok && !partial.commit(localPath))) {
        failure_ = TransferFailure::Permanent;  // the local disk refused
        ok = false;
    }
    if (!ok)
        ftp::settleFailedDownload(resumeKeyLocked(wire, localPath), resume, worthRetrying(failureLocked()), partial,
                                  length);
    return finishLocked(ok);
}

bool FtpClient::openPartialLocked(const std::string& localPath, ftp::PartialFile& partial) {
    if (!partial.isOpen() && !partial.create(localPath)) {
        failure_ = TransferFailure::Permanent;
        return false;
    }
    publishPartial(localPath, partial.path());
    return true;
}

// RETR into the partial file, from offset (REST) when it is not 0.
bool FtpClient::receiveFileLocked(const std::string& wire, ftp::PartialFile& partial, bool textMode,
                                  int64_t offset, bool& restRefused) {
    transferStart_ = offset;
    transferred_ = 0;
    const int fd = partial.fd();
    TextModeDownload text(fd);
    bool written = true;
    std::function<bool(const char*, std::size_t)> sink = [&](const char* data, std::size_t size) {
        written = textMode ? text.write(data, size) : platform::writeAll(fd, data, size);
        return written;
    };
    int code = 0;
    bool ok = runTransferLocked("RETR " + wire, &sink, nullptr, code, transferred_, offset, &restRefused);
    if (ok && textMode)
        ok = written = text.finish();
    if (!written)
        failure_ = TransferFailure::Permanent;  // the local disk refused
    return ok;
}

// A continued file must end at the size SIZE gave before the restart:
// servers differ in whether their "(N bytes)" counts the whole file or
// the rest.
bool FtpClient::wholeDownloadLocked(const std::string& wire, int64_t expectedSize,
                                    const ftp::DownloadResume& resume) {
    const bool whole = resume.offset > 0
                           ? resume.offset + transferred_.load() == resume.remoteSize
                           : receivedWholeFileLocked(wire, expectedSize >= 0 ? expectedSize : resume.remoteSize);
    // Cut short with a completion reply, or the file changed while it was
    // sent: the next try asks again.
    if (!whole)
        failure_ = TransferFailure::Transient;
    return whole;
}

// The byte count of a download against the size the server announced in
// its preliminary reply, else the size the caller knows from the listing,
// else the server's SIZE (only then an extra round trip). SIZE is asked
// whatever FEAT said: old servers answer it without listing it. A protected
// stream that ended without close_notify may have been cut: it needs a
// size to compare with.
bool FtpClient::receivedWholeFileLocked(const std::string& wire, int64_t expectedSize) {
    int64_t expected = control_->announcedSize();
    if (expected < 0)
        expected = expectedSize;
    if (expected < 0)
        expected = remoteSizeLocked(wire);
    return expected < 0 ? dataEndConfirmed_ : expected == transferred_.load();
}

// The size SIZE gives; -1 when the server gives none.
int64_t FtpClient::remoteSizeLocked(const std::string& wire) {
    ftp::FtpReply reply;
    if (control_->command("SIZE " + wire, reply, active_.replyMs) && reply.code == 213)
        return parseSizeReply(reply.text());
    return -1;
}

// An upload whose protected stream the server did not end with
// close_notify may have reached it cut short (the 226 only says the
// server stored what it got): the stored size must match what was sent.
// A text-mode upload's stored size cannot be told in advance.
bool FtpClient::storedWholeFileLocked(const std::string& wire, bool textMode) {
    if (dataEndConfirmed_)
        return true;
    return !textMode && remoteSizeLocked(wire) == transferStart_ + transferred_.load();
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

bool FtpClient::putFile(const std::string& localPath, const RemoteName& remoteName, bool textMode,
                        int64_t resumeLimit) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred_ = 0;
    transferStart_ = 0;
    std::string wire;
    if (!readyLocked() || !toWireLocked(remoteName, wire))
        return finishLocked(false);
    int fd = platform::openRegularFile(localPath);
    if (fd < 0) {
        failure_ = TransferFailure::Permanent;
        return finishLocked(false);
    }
    bool ok = ensureTypeLocked(textMode ? 'A' : 'I');
    int64_t localSize = 0;
    const int64_t offset = ok && !textMode && resumeLimit > 0 ? uploadOffsetLocked(wire, fd, resumeLimit, localSize) : 0;
    ok = ok && (offset > 0 ? continueUploadLocked(fd, wire, offset, localSize)
                           : sendFileLocked(fd, wire, textMode, "STOR", 0, nullptr));
    ok = ok && storedWholeFileLocked(wire, textMode);
    if (ok) {
        std::lock_guard<std::mutex> names(namesMutex_);
        names_->noteSent(remoteName.path, wire);
    }
    ::close(fd);
    return finishLocked(ok);
}

// STOR or APPE of the file from offset; a STOR from an offset other than 0
// goes with REST.
bool FtpClient::sendFileLocked(int fd, const std::string& wire, bool textMode, const std::string& verb,
                               int64_t offset, bool* restRefused) {
    transferStart_ = offset;
    transferred_ = 0;
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
        failure_ = TransferFailure::Permanent;
        return false;
    }
    TextModeUpload text(fd);
    bool readable = true;
    std::function<long(char*, std::size_t)> source = [&](char* buffer, std::size_t size) {
        const long n = textMode ? text.read(buffer, size) : readSome(fd, buffer, size);
        readable = n >= 0;
        return n;
    };
    int code = 0;
    const int64_t restartAt = verb == "STOR" ? offset : 0;
    const bool ok = runTransferLocked(verb + " " + wire, nullptr, &source, code, transferred_, restartAt, restRefused);
    if (!readable)
        failure_ = TransferFailure::Permanent;  // the local file could not be read
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

// LIST of a folder from inside it, for servers that split LIST's argument
// at blanks: CWD into it, LIST without an argument, CWD back to where the
// session was.
bool FtpClient::listFromInsideLocked(const RemoteName& directory, ftp::ListingBytes& bytes) {
    std::string back = enteredWire_;
    ftp::FtpReply reply;
    if (back.empty() && !(control_->command("PWD", reply, active_.replyMs) && reply.code == 257 &&
                          ftp::parseQuotedPath(reply.text(), back) && ftp::isSafeCommandText(back)))
        return false;
    std::string wire;
    if (!commandLocked("CWD", directory, wire, reply))
        return false;
    int code = 0;
    const bool listed = listLocked("", false, bytes, code);
    const bool returned = control_->command("CWD " + back, reply, active_.replyMs) && reply.isSuccess();
    const std::string& here = returned ? back : wire;
    enteredWire_ = !here.empty() && here[0] == '/' ? here : std::string();
    if (!returned)
        returnWire_ = enteredWire_;
    return listed;
}

// A folder of an MLSD listing stays a folder only when LIST, which shows
// links as links on every server we know, shows it as a directory too.
// When LIST of the path misses a folder (or the path holds a blank, which
// some servers split LIST's argument at), the folder's LIST is taken from
// inside it.
std::vector<std::size_t> FtpClient::markUnconfirmedFoldersLocked(const RemoteName& directory,
                                                                 std::vector<ftp::ListingEntry>& entries) {
    auto isFolder = [](int attributes) {
        return (attributes & ftp::kAttrDirectory) && !(attributes & ftp::kAttrLink);
    };
    std::unordered_map<std::string, int> listed;
    auto readList = [&](bool fromInside) {
        ftp::ListingBytes bytes;
        int code = 0;
        if (fromInside ? listFromInsideLocked(directory, bytes) : listLocked(directory, false, bytes, code))
            for (const ftp::ListingEntry& e : ftp::parseListing(bytes.data, false, ftp::todayForListings()))
                listed.emplace(e.wireName, e.attributes);
    };
    auto allShown = [&] {
        return std::all_of(entries.begin(), entries.end(), [&](const ftp::ListingEntry& e) {
            return !isFolder(e.attributes) || listed.count(e.wireName);
        });
    };
    const bool hasBlank = directory.path.find_first_of(" \t") != std::string::npos;
    if (!hasBlank)
        readList(false);
    if ((hasBlank || !allShown()) && !directory.empty() && !control_->lost() && !abort_->raised() &&
        !deadline_.expired())
        readList(true);
    std::vector<std::size_t> unconfirmed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ftp::ListingEntry& entry = entries[i];
        if (!isFolder(entry.attributes))
            continue;
        auto found = listed.find(entry.wireName);
        if (found == listed.end())
            unconfirmed.push_back(i);
        if (found == listed.end() || !isFolder(found->second))
            entry.attributes |= ftp::kAttrLink;
    }
    return unconfirmed;
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
            std::vector<std::size_t> unconfirmed;
            if (confirmFolders && mlsd && hasFolder)
                unconfirmed = markUnconfirmedFoldersLocked(directory, entries);
            try {
                listing.entries = namedEntriesLocked(directory.path, entries);
                for (std::size_t i : unconfirmed)
                    listing.entries[i].unconfirmedFolder = true;
                listing.complete = true;
            } catch (const std::bad_alloc&) {
                listing.entries = {};
                listing.overLimit = true;
            }
        }
    }
    if (listing.overLimit)
        failure_ = TransferFailure::Permanent;  // it would be as long again
    finishLocked(listing.complete);
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
    const bool safe = ftp::isSafeCommandText(pattern);
    return ftp::listMatching(pattern, filter,
                             [&](const std::string& directory) {
                                 return safe ? listEntries(directory) : DirectoryListing{};
                             },
                             {names, attributes, sizes, times});
}
