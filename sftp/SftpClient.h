#pragma once
// The SFTP engine: the same operations, with the same meaning and the same
// guarantees, as FtpClient's (see RemoteSession.h), for servers that speak
// SSH. libssh does the SSH (key exchange, host keys, login, the SFTP
// channel); downloads keep a window of asynchronous reads in flight (a
// small file comes in two round trips) and uploads a window of writes.
//
// SFTP has no current directory on the server: the client keeps one,
// starting in the login folder, and resolves relative names against it.
// Names are bytes: UTF-8 names are shown as they are, others escaped
// ("\xNN"), and every listed name goes back to the server in its own bytes.
//
// Every operation returns a result and never throws. Each runs whole under
// one lock, so the UI thread and workers may share one client; abort()
// from any thread ends a blocked operation. No wait is unbounded: the
// time-outs of FtpTimeouts apply as for FTP (connectMs for the TCP connect
// and the SSH handshake, replyMs for each reply, stallMs while a transfer
// moves no byte, listingMs for a whole listing).
//
// Why an operation failed (lastFailure()):
//   Transient: the connection was lost or reset, a time-out or stall ended
//     it, or a download did not have the size the server stated;
//   Permanent: the server refused (no such file, permission denied, a
//     failed file operation), a local file could not be read or written,
//     the host key was not trusted, the login was refused, the key
//     exchange failed;
//   TooManyConnections: the server turned the connection away for its
//     limit: it said so ("too many", OpenSSH's "Exceeded MaxStartups"), or
//     closed the connection before saying anything at all, which is what
//     OpenSSH does past MaxStartups;
//   Aborted: abort(), abortRunningOperation() or a later connect.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ftp/FtpTypes.h"
#include "ftp/RemoteEntry.h"
#include "ftp/RemoteSession.h"
#include "ftp/ThreadFailures.h"
#include "sftp/HostKey.h"
#include "sftp/TransferWindow.h"

namespace ftp {
class AbortSignal;
class PartialFile;
class WireNames;
struct DownloadResume;
struct ResumeKey;
}

namespace sftp {
class SshConnection;
class Watchdog;
}
struct sftp_session_struct;
struct sftp_file_struct;

class SftpClient : public RemoteSession {
public:
    SftpClient();
    ~SftpClient() override;
    SftpClient(const SftpClient&) = delete;
    SftpClient& operator=(const SftpClient&) = delete;

    Protocol protocol() const override { return Protocol::Sftp; }
    // Closes any old connection first, so a failed connect leaves the client
    // disconnected. Port 0 means 22. An empty user is the local account's
    // name; an empty password logs in with the ssh-agent's keys and the
    // default key files, as OpenSSH does. passive means nothing to SFTP.
    bool connect(const std::string& address, const std::string& user, const std::string& password,
                 int port = 0, bool passive = false) override;
    // The same on a TCP connection already made to address:port (after its
    // first bytes were peeked at to learn the protocol). The client owns fd
    // from here on, whatever the result. reconnect() makes a connection of
    // its own.
    bool connectOnSocket(int fd, const std::string& address, const std::string& user,
                         const std::string& password, int port);
    // Closes the SFTP channel and the connection; reconnect() then has
    // nothing to repeat.
    void disconnect() override;
    bool isConnected() const override;

    // Downloads into a partial file created new beside localPath and
    // replaces localPath only when the whole file arrived; a failed transfer
    // leaves localPath as it was. The byte count must match the file's size
    // as the server states it when it is opened, or else expectedSize (the
    // listing's, -1 when unknown); a file that ends sooner or goes on longer
    // fails. textMode means nothing to SFTP, which has no text transfers.
    //
    // With a resume folder set, a download of a file of at least
    // ftp::kResumeWorthyBytes that breaks off with a failure worth retrying
    // keeps its partial file, recorded as ours. The next getFile of the same
    // remote file to the same localPath reads on from the partial's length
    // when the file's size and modification time are as they were and the
    // partial is still the very file written; else it starts over in a new
    // partial, removing the old one if it is still ours. A partial file of
    // anyone else is never touched. Otherwise a failed download removes
    // its partial file.
    bool getFile(const RemoteName& remote, const std::string& localPath, bool textMode = false,
                 int64_t expectedSize = -1) override;
    // Uploads a regular local file (a link is followed to one), replacing
    // the remote file. resumeLimit > 0: an earlier attempt broke off having
    // reached that offset (its transferEnd(): every byte before it
    // confirmed by the server). A remote file of 1 to resumeLimit bytes (and
    // no longer than the local one) is then written on from its end; its
    // size is checked afterwards and the file sent again whole if it is
    // wrong. Otherwise the whole file is sent. textMode means nothing to
    // SFTP.
    bool putFile(const std::string& localPath, const RemoteName& remote, bool textMode = false,
                 int64_t resumeLimit = 0) override;
    // Removes a file, or a link itself (never its target).
    bool deleteFile(const RemoteName& remote) override;
    // Never replaces an existing entry unasked: fails when newName exists,
    // unless replace and it is a file (or a link), which is then moved
    // aside, replaced, and removed; put back when the rename fails.
    bool renameFile(const RemoteName& oldName, const std::string& newName,
                    const RemoteName& newNameFolder = RemoteName(), bool replace = false) override;
    bool makeDirectory(const RemoteName& dir) override;
    // The same, and the name of the folder that now exists (SFTP servers
    // store the name asked for).
    bool makeDirectory(const RemoteName& dir, std::string& createdName) override;
    bool removeDirectory(const RemoteName& dir) override;
    // Enters a directory (relative to the current one, or absolute) once
    // the server confirms it is one; ".." and "." are resolved by the text.
    bool setCurrentDirectory(const RemoteName& dir) override;
    // The current directory; empty when not connected.
    std::string currentDirectory() override;
    // As FtpClient::listDirectory: the directory part of the pattern,
    // entries whose name matches its last component, filtered by attribute
    // bits; the arrays asked for are cleared and filled in server order.
    int listDirectory(const std::string& pattern, int filter = -1, std::vector<std::string>* names = nullptr,
                      std::vector<int>* attributes = nullptr, std::vector<int64_t>* sizes = nullptr,
                      std::vector<RemoteTime>* times = nullptr) override;
    // The entries of a directory ("" is the current one) in server order,
    // "." and ".." left out, types from the attributes: a link is a link
    // (kAttrLink, never a folder), whatever it points to. Sizes are 64-bit,
    // times UTC. The listing must end within the listing time-out and stay
    // within the caps of FTP listings; one that does not arrive whole comes
    // back incomplete and empty. With confirmFolders, a folder is kept a
    // folder only when the server's lstat says so too (for servers that
    // follow links in their listings); any other is marked a link.
    DirectoryListing listEntries(const RemoteName& directory, bool confirmFolders = false) override;
    std::string wirePath(const std::string& path) const override;
    std::string wirePathBelow(const RemoteName& folder, const std::string& relative) const override;
    std::vector<std::string> wirePathsBelow(const RemoteName& folder,
                                            const std::vector<std::string>& names) const override;
    // SFTP listings tell links apart on their own.
    bool listedFoldersMayBeLinks() const override { return false; }

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
    // The offset the current or last transfer started at plus the bytes
    // moved (for an upload: bytes the server confirmed, in file order).
    int64_t transferEnd() const override { return transferStart_.load() + transferred_.load(); }
    // acceptMs means nothing to SFTP.
    void setTimeouts(const FtpTimeouts& timeouts) override;
    FtpTimeouts timeouts() const override;

    // The known-hosts file keys accepted by the host-key check are added
    // to (created 0600). Empty: accepted keys count for this connection
    // (and its reconnects) only.
    void setKnownHostsFile(const std::string& path);
    // A known-hosts file whose keys are trusted without asking and which is
    // never written; by default ~/.ssh/known_hosts. Empty: none.
    void setTrustedKnownHostsFile(const std::string& path);
    // The folder of the default key files (id_ed25519, id_ecdsa, id_rsa);
    // empty (the default): ~/.ssh.
    void setSshDirectory(const std::string& path);
    // Asked about a key on record nowhere, and told of a changed one (see
    // HostKeyCheck). Without one, such a server is not used.
    void setHostKeyCheck(sftp::HostKeyCheck check);
    // How the last connect judged the server's key.
    sftp::HostKeyVerdict hostKeyVerdict() const;
    // How the current connection (or the last attempt) is protected: both
    // parts once the key exchange is done, protection naming the SSH
    // cipher ("SSH chacha20-poly1305@openssh.com, curve25519-sha256").
    // A key that was not trusted gives CertificateRejected, a failed key
    // exchange HandshakeFailed.
    ConnectionSecurity security() const override;

    TransferFailure lastFailure() const override;
    // Connects again as the last connect did: the same server, port and
    // login. The key the last connect trusted is trusted again without
    // asking, whether or not it was written to a known-hosts file; another
    // one goes through the host-key check as on a first connect. Then
    // enters the directory the connection was in. False when there is
    // nothing to repeat (no connect, or disconnect() since), when abort()
    // is pending, or when a step fails; lastFailure() says why.
    bool reconnect() override;
    // Without waiting: takes in what the server sent while the connection
    // was idle (answering a keep-alive of its own), and is false when the
    // connection is gone (the connection is then closed). Sends nothing of
    // its own. True while another thread's operation runs.
    bool connectionAlive() override;
    // When idle and connected: asks the server for the attributes of its
    // login folder (an SFTP stat, which needs an answer) and tells whether
    // the connection is still good. While an operation runs it sends
    // nothing and returns true at once.
    bool keepAlive() override;
    void setResumeFolder(const std::string& folder) override;
    std::unique_ptr<RemoteSession> newConnectionLikeThis() const override;

private:
    // What reconnect() repeats: the arguments of the last connect.
    struct ConnectTarget {
        std::string address;
        std::string user;
        std::string password;
        int port = 0;
    };

    bool readyLocked();
    // End of every remote operation: records lastFailure() and closes a
    // connection that can no longer be trusted. Returns ok.
    bool finishLocked(bool ok);
    void closeIfBrokenLocked();
    // Why the running operation failed, from what it left behind.
    TransferFailure failureLocked() const;
    void closeConnectionLocked();
    void beginWaitLocked(int ms);
    void endWaitLocked();
    void shutdownSocket();
    bool connectWith(int fd, const std::string& address, const std::string& user, const std::string& password,
                     int port);
    // Connects to target_ (on fd, when it is >= 0) and logs in; notes the
    // failure. False also when a later connect took the client over.
    bool openConnectionLocked(std::unique_lock<std::mutex>& lock, int fd, bool reconnecting);
    bool startSessionLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, int fd, bool reconnecting);
    bool logInLocked(const std::string& password);
    bool trustServerLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, const std::string& host,
                           int port, bool reconnecting);
    bool askAboutKeyLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, const std::string& host,
                           int port, const sftp::HostKey& key);
    void noteVerdict(sftp::HostKeyVerdict verdict, SecurityFailure failure);
    bool returnToDirectoryLocked();
    bool idleConnectionGoodLocked();
    bool settleTransferSizesLocked();
    bool toWireLocked(const RemoteName& path, std::string& wire) const;
    bool newWireLocked(const std::string& newName, const RemoteName& folder, std::string& wire) const;
    std::string shownPathLocked(const std::string& wire) const;
    std::string resumeFolder() const;
    ftp::ResumeKey resumeKeyLocked(const std::string& wire, const std::string& localPath) const;
    // Before a download whose size and modification time the server
    // stated (-1 and empty when it did not).
    void prepareResumeLocked(const ftp::ResumeKey& key, int64_t size, const std::string& time,
                             ftp::PartialFile& partial, ftp::DownloadResume& resume);
    bool openPartialLocked(const std::string& localPath, ftp::PartialFile& partial);
    bool getSmallFileLocked(const std::string& wire, const std::string& localPath, int64_t expectedSize,
                            const ftp::ResumeKey& key, ftp::PartialFile& partial, ftp::DownloadResume& resume,
                            bool& ok);
    bool writeSmallFileLocked(ftp::PartialFile& partial, const std::string& data, int64_t offset);
    bool getOpenedFileLocked(const std::string& wire, const std::string& localPath, int64_t expectedSize,
                             const ftp::ResumeKey& key, ftp::PartialFile& partial, ftp::DownloadResume& resume);
    bool downloadLocked(sftp_file_struct* file, ftp::PartialFile& partial, int64_t offset, int64_t size);
    int64_t remoteSizeLocked(const std::string& wire);
    int64_t uploadOffsetLocked(const std::string& wire, int64_t resumeLimit, int64_t localSize);
    bool continueUploadLocked(int fd, const std::string& wire, int64_t offset, int64_t localSize);
    // Writes the local file from offset on to the remote file at the same
    // offset (offset 0: the remote file is created or emptied first).
    bool uploadLocked(int fd, const std::string& wire, int64_t offset);
    int entryTypeLocked(const std::string& wire, bool followLinks);
    bool readListingLocked(const std::string& wire, DirectoryListing& listing, std::vector<std::string>& wires);
    void markUnconfirmedFoldersLocked(const std::string& wire, DirectoryListing& listing,
                                      const std::vector<std::string>& wires);
    void nameEntriesLocked(const std::string& directory, DirectoryListing& listing,
                           std::vector<std::string>& wires);
    void publishPartial(const std::string& localPath, const std::string& partialPath);
    bool replacingRenameLocked(const std::string& oldWire, const std::string& newWire);
    bool simpleRequestLocked(const RemoteName& path, int (*request)(sftp_session_struct*, const char*));

    mutable std::mutex mutex_;
    mutable std::mutex settingsMutex_;
    FtpTimeouts timeouts_;
    FtpTimeouts active_;  // copy taken at the start of each operation
    std::string knownHostsFile_;
    std::string trustedKnownHostsFile_;
    std::string sshDirectory_;
    sftp::HostKeyCheck hostKeyCheck_;
    sftp::HostKeyVerdict verdict_ = sftp::HostKeyVerdict::None;
    ConnectionSecurity security_;
    std::string partialTarget_;  // guarded by settingsMutex_
    std::string partialPath_;
    std::string resumeFolder_;   // guarded by settingsMutex_
    std::unique_ptr<ftp::AbortSignal> abort_;
    // Guards names_, which wirePath() reads while an operation runs.
    mutable std::mutex namesMutex_;
    std::unique_ptr<ftp::WireNames> names_;
    std::unique_ptr<sftp::SshConnection> connection_;
    // A second descriptor of the connection's socket, kept for shutting it
    // down from other threads (abort, the watchdog): libssh may close its
    // own at any time, ours stays valid until the connection is closed.
    mutable std::mutex socketMutex_;
    int socketFd_ = -1;
    std::unique_ptr<sftp::Watchdog> watchdog_;
    std::atomic<bool> connected_{false};
    std::atomic<int64_t> transferred_{0};
    std::atomic<int64_t> transferStart_{0};
    // Counts connects: one that waited for a host-key decision learns
    // whether another connect or a disconnect took the client over.
    uint64_t connectAttempt_ = 0;
    std::optional<ConnectTarget> target_;
    std::string acceptedKey_;  // fingerprint of the key the last connect to target_ trusted
    std::string currentWire_;  // the current directory, as the server's bytes
    std::string returnWire_;   // where reconnect() goes back to; empty: the login folder
    // Set by the running operation when it knows why it failed better
    // than the state of the connection can tell.
    TransferFailure failure_ = TransferFailure::None;
    ftp::ThreadFailures failures_;
    sftp::TransferWindow readWindow_;
    sftp::TransferWindow writeWindow_;
};
