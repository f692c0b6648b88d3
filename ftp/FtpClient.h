#pragma once
// The one FTP component of the program: every remote action goes through
// it. Plain sockets, active mode by default with an automatic fall-back to
// passive mode, binary transfers unless text mode is asked for.
//
// All texts are UTF-8; names are converted to and from the server's
// encoding inside. Every operation returns a result and never throws. Each
// operation runs whole under one lock, so the UI thread and workers may
// share one client; abort() from any thread ends a blocked operation.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ftp/Deadline.h"
#include "ftp/FtpTypes.h"
#include "ftp/RemoteEntry.h"
#include "ftp/ServerCertificate.h"

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
}

class FtpClient {
public:
    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Kept for the callers' order of calls; there is no session to open
    // beyond the connection itself, so this always succeeds.
    bool openSession();
    // Closes any old connection first, so a failed connect leaves the client
    // disconnected. Port 0 means 21. An empty user logs in as "anonymous".
    bool connect(const std::string& address, const std::string& user, const std::string& password,
                 int port = 21, bool passive = false);
    // Sends QUIT and closes the connection.
    void disconnect();
    bool isConnected() const;

    // Downloads into a partial file created new beside localPath and
    // replaces localPath only when the whole file arrived; a failed transfer
    // leaves localPath as it was and removes the partial file. Nothing else
    // is touched. A binary download whose byte count differs from the size
    // the server announces, or else from expectedSize (the listing's, -1
    // when unknown), or else from SIZE (asked only then, whether or not
    // the server lists it among its features), fails.
    bool getFile(const RemoteName& remote, const std::string& localPath, bool textMode = false,
                 int64_t expectedSize = -1);
    bool putFile(const std::string& localPath, const RemoteName& remote, bool textMode = false);
    bool deleteFile(const RemoteName& remote);
    // A relative new name is taken by the server in its current directory;
    // with newNameFolder given, the connection enters that folder first
    // (in the same operation), so the name lands there and nowhere else.
    bool renameFile(const RemoteName& oldName, const std::string& newName,
                    const RemoteName& newNameFolder = RemoteName());
    bool makeDirectory(const RemoteName& dir);
    // The same, and the name the server's reply gives the folder: servers
    // may store another name than the one asked for ("trail " as "trail_")
    // and say so in their reply. The asked name when the reply names none.
    // The reply is only the server's word: callers check it against a
    // listing before they act on that name.
    bool makeDirectory(const RemoteName& dir, std::string& createdName);
    bool removeDirectory(const RemoteName& dir);
    bool setCurrentDirectory(const RemoteName& dir);
    // The remote current directory; empty on failure. When the server's
    // reply can be read more than one way, the directory last entered by
    // an absolute path is preferred.
    std::string currentDirectory();
    // Lists the directory part of the pattern and keeps the entries whose
    // name matches its last component ("*", "?"); a trailing "*.*" counts
    // as "*". filter -1 keeps all; otherwise its bits 0x37 are compared with
    // the entry's attributes (0 keeps entries without any bit). The arrays
    // asked for are cleared and filled in server order. Returns the count.
    int listDirectory(const std::string& pattern, int filter = -1, std::vector<std::string>* names = nullptr,
                      std::vector<int>* attributes = nullptr, std::vector<int64_t>* sizes = nullptr,
                      std::vector<RemoteTime>* times = nullptr);

    // The entries of a directory ("" is the current one) in server order,
    // "." and ".." left out. The listing must end within the listing
    // time-out and stay within the caps on entries and bytes; a listing
    // that does not arrive whole comes back incomplete and empty. With confirmFolders, an entry that the listing
    // calls a folder is kept a folder only when the server's LIST shows it
    // as a real directory: some servers' MLSD calls a link to a folder a
    // folder. Any other is marked as a link, so a walk never goes through
    // it.
    DirectoryListing listEntries(const RemoteName& directory, bool confirmFolders = false);

    // The server's bytes for a shown path as the connection sends it now:
    // names listed in their directory go back in the bytes they came in.
    // Never waits for a running operation.
    std::string wirePath(const std::string& path) const;
    // The bytes of a path below a folder whose bytes are known (relative
    // uses "/"; its names go by the connection's rules).
    std::string wirePathBelow(const RemoteName& folder, const std::string& relative) const;
    // The same for many entries of one folder at once.
    std::vector<std::string> wirePathsBelow(const RemoteName& folder, const std::vector<std::string>& names) const;
    // True while listings come from MLSD, whose folders may be links the
    // listing does not show as such.
    bool listsWithMlsd() const;

    // Any thread: closes the connection under a running operation, which
    // then fails promptly. The client is disconnected afterwards.
    void abort();
    // Any thread: aborts the operation running now, if there is one; an
    // idle connection is left as it is.
    void abortRunningOperation();
    // The partial file the current or last download of localPath writes;
    // empty when no download was for localPath.
    std::string partialPathFor(const std::string& localPath) const;
    // Bytes moved by the current or last transfer.
    int64_t transferredBytes() const { return transferred_.load(); }
    void setTimeouts(const FtpTimeouts& timeouts);
    FtpTimeouts timeouts() const;
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
    // How the current connection (or the last attempt) is protected.
    ConnectionSecurity security() const;

private:
    bool readyLocked();
    void finishLocked();
    void closeConnectionLocked(bool sayGoodbye);
    bool loginLocked(const std::string& user, const std::string& password);
    bool negotiateTlsLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port);
    bool secureControlLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port);
    bool acceptCertificateLocked(std::unique_lock<std::mutex>& lock, const std::string& host, int port,
                                 const ftp::ServerCertificate& certificate);
    bool protectDataLocked();
    ftp::DataProtection dataProtectionLocked() const;
    ftp::TlsContext* tlsContextLocked();
    bool tlsRequired() const;
    void noteSecurityFailure(SecurityFailure failure);
    void readFeaturesLocked();
    bool ensureTypeLocked(char type);
    bool simpleCommandLocked(const std::string& verb, const RemoteName& path);
    // CWD, remembering an absolute path the server accepted.
    bool enterLocked(const RemoteName& dir);
    bool commandLocked(const std::string& verb, const RemoteName& path, std::string& wire, ftp::FtpReply& reply);
    bool toWireLocked(const RemoteName& path, std::string& wire) const;
    // Runs one data command; exactly one of sink (download) and source
    // (upload) is given. finalCode is the server's last reply code (0: none).
    bool runTransferLocked(const std::string& command, const std::function<bool(const char*, std::size_t)>* sink,
                           const std::function<long(char*, std::size_t)>* source, int& finalCode,
                           std::atomic<int64_t>& counter);
    bool receivedWholeFileLocked(const std::string& wire, int64_t expectedSize);
    void publishPartial(const std::string& localPath, const std::string& partialPath);
    int finalReplyWaitLocked() const;
    bool listLocked(const RemoteName& directory, bool mlsd, ftp::ListingBytes& bytes, int& finalCode);
    // The parsed listing of the directory, MLSD when the server has it.
    // overLimit tells a listing cut at the caps.
    bool fetchListingLocked(const RemoteName& directory, ftp::ParsedListing& parsed, bool& mlsd,
                            bool& overLimit);
    std::vector<RemoteEntry> namedEntriesLocked(const std::string& directory,
                                                std::vector<ftp::ListingEntry>& listed);
    void markUnconfirmedFoldersLocked(const RemoteName& directory, std::vector<ftp::ListingEntry>& entries);

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
    std::string enteredWire_;  // the last absolute path CWD accepted
    bool epsvRefused_ = false;
    std::atomic<bool> mlsdUnsupported_{false};
    std::atomic<bool> mlst_{false};  // the server announced MLST/MLSD
    char type_ = 0;
};
