#pragma once
// The one FTP component of the program: every remote action on an FTP
// server goes through it. Plain sockets, active mode by default with an
// automatic fall-back to passive mode, binary transfers unless text mode is
// asked for.
//
// All texts are UTF-8; names are converted to and from the server's
// encoding inside. Every operation returns a result and never throws. Each
// operation runs whole under one lock, so the UI thread and workers may
// share one client; abort() from any thread ends a blocked operation.
// Clients are independent of one another: several may run at once.
//
// Surviving the network: lastFailure(), reconnect(), connectionAlive() and
// keepAlive() as RemoteSession.h shows them. keepAlive() sends NOOP; every
// 120 s is well inside the idle limits that end connections first: NAT and
// firewall mappings (often 5 minutes) and vsftpd's 300 s. With
// setResumeFolder() given, a download that broke off keeps its partial
// file and the next getFile of the same file to the same target continues
// it, when the server restarts transfers and the file did not change. A
// connect refused for the server's connection limit fails with
// TooManyConnections: wait and connect again; it is not a wrong password.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ftp/Deadline.h"
#include "ftp/FtpTypes.h"
#include "ftp/RemoteEntry.h"
#include "ftp/RemoteSession.h"
#include "ftp/ServerCertificate.h"
#include "ftp/ThreadFailures.h"
#include "ftp/TransferFailure.h"

struct ssl_session_st;

namespace ftp {
struct FtpReply;
struct ListingEntry;
struct ParsedListing;
class AbortSignal;
class ControlConnection;
class TlsContext;
class WireNames;
struct DataProtection;
struct ServerFeatures;
struct ListingBytes;
class PartialFile;
struct DownloadResume;
struct ResumeKey;
using TlsSession = std::shared_ptr<ssl_session_st>;
}

class FtpClient : public RemoteSession {
public:
    FtpClient();
    ~FtpClient() override;
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Kept for the callers' order of calls; there is no session to open
    // beyond the connection itself, so this always succeeds.
    bool openSession();
    // Closes any old connection first, so a failed connect leaves the client
    // disconnected. Port 0 means 21. An empty user logs in as "anonymous".
    Protocol protocol() const override { return Protocol::Ftp; }
    bool connect(const std::string& address, const std::string& user, const std::string& password,
                 int port = 0, bool passive = false) override;
    // The same on a TCP connection already made to address:port (after its
    // first bytes were peeked at to learn the protocol: the greeting is
    // still unread). Port 990 speaks TLS from the first byte, as for
    // connect(). reconnect() makes a connection of its own. The client
    // owns fd from here on, whatever the result.
    bool connectOnSocket(int fd, const std::string& address, const std::string& user,
                         const std::string& password, int port, bool passive = false);
    // Sends QUIT and closes the connection; reconnect() then has nothing
    // to repeat.
    void disconnect() override;
    bool isConnected() const override;

    // Downloads into a partial file created new beside localPath and
    // replaces localPath only when the whole file arrived; a failed transfer
    // leaves localPath as it was and removes the partial file. Nothing else
    // is touched. A binary download whose byte count differs from the size
    // the server announces, or else from expectedSize (the listing's, -1
    // when unknown), or else from SIZE (asked only then, whether or not
    // the server lists it among its features), fails. A protected download
    // whose stream ended without close_notify needs one of these sizes to
    // match; without any it fails.
    //
    // With a resume folder set, a binary download of a file that may be
    // large (expectedSize unknown or at least ftp::kResumeWorthyBytes) first
    // asks SIZE and, when the server has it, MDTM. When it then breaks off
    // with a failure worth retrying, its partial file is kept and recorded
    // as ours. The next getFile of the same remote file to the same
    // localPath continues that partial (REST at its length, then RETR)
    // when the file's size and time are as they were and the partial is
    // still the very file written (device and inode, no link); else, or
    // when the server refuses REST, the download starts over in a new
    // partial, removing the old one if it is still ours. A resumed file
    // must end at the size SIZE gave. A partial file of anyone else is never
    // touched. A download that fails otherwise, or completes, leaves no
    // record and no partial.
    bool getFile(const RemoteName& remote, const std::string& localPath, bool textMode = false,
                 int64_t expectedSize = -1) override;
    // Sends the file. resumeLimit > 0 (binary only): an earlier attempt
    // broke off after sending that many bytes. When SIZE then reports a
    // remote file of 1 to resumeLimit bytes (and no longer than the local
    // one), the rest is sent from there: REST and STOR, or APPE when the
    // server refuses that. The remote size is checked afterwards and the
    // file sent again whole if it is wrong. Otherwise the whole file is sent.
    // A protected upload whose stream the server did not end with
    // close_notify succeeds only when SIZE then gives the bytes sent.
    bool putFile(const std::string& localPath, const RemoteName& remote, bool textMode = false,
                 int64_t resumeLimit = 0) override;
    bool deleteFile(const RemoteName& remote) override;
    // A relative new name is taken by the server in its current directory;
    // with newNameFolder given, the connection enters that folder first
    // (in the same operation), so the name lands there and nowhere else.
    // replace means nothing here: the server's RNTO decides whether an
    // entry of the new name is replaced.
    bool renameFile(const RemoteName& oldName, const std::string& newName,
                    const RemoteName& newNameFolder = RemoteName(), bool replace = false) override;
    bool makeDirectory(const RemoteName& dir) override;
    // The same, and the name the server's reply gives the folder: servers
    // may store another name than the one asked for ("trail " as "trail_")
    // and say so in their reply. The asked name when the reply names none.
    // The reply is only the server's word: callers check it against a
    // listing before they act on that name.
    bool makeDirectory(const RemoteName& dir, std::string& createdName) override;
    bool removeDirectory(const RemoteName& dir) override;
    bool setCurrentDirectory(const RemoteName& dir) override;
    // The remote current directory; empty on failure. When the server's
    // reply can be read more than one way, the directory last entered by
    // an absolute path is preferred.
    std::string currentDirectory() override;
    // Lists the directory part of the pattern and keeps the entries whose
    // name matches its last component ("*", "?"); a trailing "*.*" counts
    // as "*". filter -1 keeps all; otherwise its bits 0x37 are compared with
    // the entry's attributes (0 keeps entries without any bit). The arrays
    // asked for are cleared and filled in server order. Returns the count.
    int listDirectory(const std::string& pattern, int filter = -1, std::vector<std::string>* names = nullptr,
                      std::vector<int>* attributes = nullptr, std::vector<int64_t>* sizes = nullptr,
                      std::vector<RemoteTime>* times = nullptr) override;

    // The entries of a directory ("" is the current one) in server order,
    // "." and ".." left out. The listing must end within the listing
    // time-out and stay within the caps on entries and bytes; a listing
    // that does not arrive whole comes back incomplete and empty. With confirmFolders, an entry that the listing
    // calls a folder is kept a folder only when the server's LIST shows it
    // as a real directory: some servers' MLSD calls a link to a folder a
    // folder. Any other is marked as a link, so a walk never goes through
    // it; one that LIST does not show at all is also marked unconfirmed.
    // The directory is listed from inside (CWD, LIST, CWD back) when its
    // path holds a blank, as some servers split LIST's argument at blanks,
    // or when LIST of the path misses a folder.
    DirectoryListing listEntries(const RemoteName& directory, bool confirmFolders = false) override;

    // The server's bytes for a shown path as the connection sends it now:
    // names listed in their directory go back in the bytes they came in.
    // Never waits for a running operation.
    std::string wirePath(const std::string& path) const override;
    // The bytes of a path below a folder whose bytes are known (relative
    // uses "/"; its names go by the connection's rules).
    std::string wirePathBelow(const RemoteName& folder, const std::string& relative) const override;
    // The same for many entries of one folder at once.
    std::vector<std::string> wirePathsBelow(const RemoteName& folder, const std::vector<std::string>& names) const override;
    // True while listings come from MLSD, whose folders may be links the
    // listing does not show as such.
    bool listsWithMlsd() const;
    bool listedFoldersMayBeLinks() const override { return listsWithMlsd(); }

    // Any thread: closes the connection under a running operation, which
    // then fails promptly. The client is disconnected afterwards.
    void abort() override;
    // Any thread: aborts the operation running now, if there is one; an
    // idle connection is left as it is.
    void abortRunningOperation() override;
    // The partial file the current or last download of localPath writes;
    // empty when no download was for localPath.
    std::string partialPathFor(const std::string& localPath) const override;
    // Bytes moved by the current or last transfer.
    int64_t transferredBytes() const override { return transferred_.load(); }
    void setTimeouts(const FtpTimeouts& timeouts) override;
    FtpTimeouts timeouts() const override;
    // True while the connection runs in passive mode (asked for, or fallen
    // back to because active mode failed).
    bool isPassive() const;

    // With TLS required, a server that does not offer TLS, or refuses to
    // protect data connections, is not used.
    void setTlsRequired(bool required);
    // PEM certificates servers are verified against instead of the
    // system's store (empty: the system's store).
    void setTrustedCertificates(const std::string& pemFile);
    // Asked about a certificate that did not verify (by the connecting
    // thread, with the client free for other threads meanwhile). Without
    // one, such a server is not used.
    void setCertificateCheck(ftp::CertificateCheck check);
    // Asked (like the certificate check) before logging in in clear to a
    // server that refused AUTH TLS, TLS not being required; nothing has
    // been sent beyond AUTH TLS then. Without one, such a server is used
    // in clear. Implicit TLS never gets this far.
    void setClearLoginCheck(ftp::ClearLoginCheck check);
    // Told of every server whose certificate verified (on the connecting
    // thread, during the connect).
    void setVerifiedServerNote(ftp::VerifiedServerNote note);
    // How the current connection (or the last attempt) is protected.
    ConnectionSecurity security() const override;

    // Why the last operation this thread ran on this client failed; None
    // after a success. Kept per thread: an operation another thread runs
    // in between (a listing during a batch) does not change it.
    TransferFailure lastFailure() const override;
    // Connects again as the last connect() did: the same server, port,
    // login, mode and TLS requirement. A certificate the user accepted for
    // that connection is accepted again without asking; another one goes
    // through the certificate check. The TLS session is resumed where the
    // server allows. Then enters the directory the connection was in (the
    // last absolute path CWD accepted or PWD named since; else the
    // server's start directory). False when there is nothing to repeat
    // (no connect, or disconnect() since), when abort() is pending, or when
    // a step fails; the client is then disconnected and lastFailure() says
    // why (TooManyConnections: wait before the next try).
    bool reconnect() override;
    // Without waiting and without sending anything: false when the
    // connection is gone, which includes a server that closed it or said
    // 421 while it was idle (the connection is then closed). True while
    // another thread's operation runs: that one finds out for itself.
    bool connectionAlive() override;
    // Sends NOOP when the client is idle and connected, and tells whether
    // the connection is still good. Waits for the reply (within the reply
    // time-out), so call it off the UI thread. While an operation runs
    // (a transfer, a listing) it sends nothing and returns true at once.
    bool keepAlive() override;
    // The folder for the records of partial downloads that may be
    // continued (the settings folder); empty, the default, keeps no
    // partial file of a failed download.
    void setResumeFolder(const std::string& folder) override;
    std::unique_ptr<RemoteSession> newConnectionLikeThis() const override;
    // Where in the file the current or last transfer got to: the offset it
    // started at (a continued one) plus the bytes moved.
    int64_t transferEnd() const override { return transferStart_.load() + transferred_.load(); }

private:
    // What reconnect() repeats: the arguments and TLS requirement of the
    // last connect().
    struct ConnectTarget {
        std::string address;
        std::string user;
        std::string password;
        int port = 0;
        bool passive = false;
        bool tlsRequired = false;
    };

    bool connectWith(int fd, const std::string& address, const std::string& user, const std::string& password,
                     int port, bool passive);
    // fd >= 0: a connection already made to the target, its greeting unread.
    bool openConnectionLocked(std::unique_lock<std::mutex>& lock, bool reconnecting, bool& superseded, int fd = -1);
    bool returnToDirectoryLocked();
    bool idleConnectionGoodLocked();
    // End of every remote operation: records lastFailure() and closes a
    // connection that can no longer be trusted. Returns ok.
    bool finishLocked(bool ok);
    void closeIfBrokenLocked();
    // Why the running operation failed, from what it left behind.
    TransferFailure failureLocked() const;
    void noteFailure(TransferFailure failure);
    std::string resumeFolder() const;
    ftp::ResumeKey resumeKeyLocked(const std::string& wire, const std::string& localPath) const;
    std::string askTimeLocked(const std::string& wire);
    void prepareResumeLocked(const std::string& wire, const std::string& localPath, int64_t expectedSize,
                             ftp::PartialFile& partial, ftp::DownloadResume& resume);
    bool openPartialLocked(const std::string& localPath, ftp::PartialFile& partial);
    bool receiveFileLocked(const std::string& wire, ftp::PartialFile& partial, bool textMode, int64_t offset,
                           bool& restRefused);
    bool wholeDownloadLocked(const std::string& wire, int64_t expectedSize, const ftp::DownloadResume& resume);
    int64_t uploadOffsetLocked(const std::string& wire, int fd, int64_t resumeLimit, int64_t& localSize);
    bool continueUploadLocked(int fd, const std::string& wire, int64_t offset, int64_t localSize);
    bool sendFileLocked(int fd, const std::string& wire, bool textMode, const std::string& verb, int64_t offset,
                        bool* restRefused);

    bool readyLocked();
    void closeConnectionLocked(bool sayGoodbye);
    void keepResumableSessionLocked();
    bool loginLocked(const std::string& user, const std::string& password);
    bool negotiateTlsLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port);
    bool secureControlLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port);
    bool acceptCertificateLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port,
                                 const ftp::ServerCertificate& certificate);
    bool allowClearLoginLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port);
    void noteVerifiedServer(const std::string& host, int port);
    bool askUserLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& question,
                       SecurityFailure refused);
    bool protectDataLocked();
    ftp::DataProtection dataProtectionLocked() const;
    ftp::TlsContext* tlsContextLocked();
    bool tlsRequired() const;
    void noteSecurityFailure(SecurityFailure failure);
    void readFeaturesLocked(bool keepNames);
    bool ensureTypeLocked(char type);
    bool simpleCommandLocked(const std::string& verb, const RemoteName& path);
    // CWD, remembering an absolute path the server accepted.
    bool enterLocked(const RemoteName& dir);
    bool commandLocked(const std::string& verb, const RemoteName& path, std::string& wire, ftp::FtpReply& reply);
    bool toWireLocked(const RemoteName& path, std::string& wire) const;
    // Runs one data command; exactly one of sink (download) and source
    // (upload) is given. finalCode is the server's last reply code (0: none).
    // restartAt > 0: "REST restartAt" goes right before the command, once
    // the data connection is set up; a reply other than 350 ends the
    // transfer before it starts, with restRefused set.
    bool runTransferLocked(const std::string& command, const std::function<bool(const char*, std::size_t)>* sink,
                           const std::function<long(char*, std::size_t)>* source, int& finalCode,
                           std::atomic<int64_t>& counter, int64_t restartAt = 0, bool* restRefused = nullptr);
    bool receivedWholeFileLocked(const std::string& wire, int64_t expectedSize);
    bool storedWholeFileLocked(const std::string& wire, bool textMode);
    int64_t remoteSizeLocked(const std::string& wire);
    void publishPartial(const std::string& localPath, const std::string& partialPath);
    int finalReplyWaitLocked() const;
    bool listLocked(const RemoteName& directory, bool mlsd, ftp::ListingBytes& bytes, int& finalCode);
    // The parsed listing of the directory, MLSD when the server has it.
    // overLimit tells a listing cut at the caps.
    bool fetchListingLocked(const RemoteName& directory, ftp::ParsedListing& parsed, bool& mlsd,
                            bool& overLimit);
    std::vector<RemoteEntry> namedEntriesLocked(const std::string& directory,
                                                std::vector<ftp::ListingEntry>& listed);
    // The indexes of the folders LIST did not show.
    std::vector<std::size_t> markUnconfirmedFoldersLocked(const RemoteName& directory,
                                                          std::vector<ftp::ListingEntry>& entries);
    bool listFromInsideLocked(const RemoteName& directory, ftp::ListingBytes& bytes);

    mutable std::mutex mutex_;
    mutable std::mutex settingsMutex_;
    // Guards names_, which wirePath() reads while an operation runs.
    mutable std::mutex namesMutex_;
    FtpTimeouts timeouts_;
    FtpTimeouts active_;  // copy taken at the start of each operation
    ftp::Deadline deadline_;  // of the running operation, if it has one
    bool tlsRequired_ = false;
    std::string trustFile_;
    ftp::CertificateCheck certificateCheck_;
    ftp::ClearLoginCheck clearLoginCheck_;
    ftp::VerifiedServerNote verifiedServerNote_;
    ConnectionSecurity security_;
    std::string partialTarget_;  // guarded by settingsMutex_
    std::string partialPath_;
    std::unique_ptr<ftp::AbortSignal> abort_;
    std::unique_ptr<ftp::TlsContext> tlsContext_;
    std::unique_ptr<ftp::ControlConnection> control_;
    std::unique_ptr<ftp::WireNames> names_;
    std::unique_ptr<ftp::ServerFeatures> features_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> passive_{false};
    std::atomic<int64_t> transferred_{0};
    std::atomic<int64_t> listingBytes_{0};  // kept apart from the file progress
    // Counts connects: one that waited for a certificate decision learns
    // whether another connect took the client over meanwhile.
    uint64_t connectAttempt_ = 0;
    std::string host_;
    std::string serverFingerprint_;  // the certificate the control connection accepted
    bool dataProtected_ = false;
    // The last transfer's data connection ended with close_notify, or was
    // not protected: its end is not in doubt.
    bool dataEndConfirmed_ = true;
    std::string enteredWire_;  // the last absolute path CWD accepted
    std::string returnWire_;   // where reconnect() goes back to: that, or PWD's answer since
    std::optional<ConnectTarget> target_;
    std::string acceptedFingerprint_;  // a certificate the user accepted for target_
    ftp::TlsSession resumeSession_;    // the last control connection's, for reconnect()
    bool requireTls_ = false;          // of the connect running now
    bool reconnecting_ = false;
    bool connecting_ = false;          // a 530 now answers the login
    // Set by the running operation when it knows why it failed better
    // than its last reply can tell; fallback_ when nothing tells.
    TransferFailure failure_ = TransferFailure::None;
    TransferFailure fallback_ = TransferFailure::Permanent;
    ftp::ThreadFailures failures_;
    std::string resumeFolder_;  // guarded by settingsMutex_
    std::atomic<int64_t> transferStart_{0};
    bool epsvRefused_ = false;
    std::atomic<bool> mlsdUnsupported_{false};
    std::atomic<bool> mlst_{false};  // the server announced MLST/MLSD
    char type_ = 0;
};
