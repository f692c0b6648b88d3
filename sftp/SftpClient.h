#pragma once
// The SFTP engine: the same operations, with the same meaning, as
// FtpClient's, for servers that speak SSH. libssh does the SSH (key
// exchange, host keys, login, the SFTP channel); downloads keep a window of
// asynchronous reads in flight and uploads a window of writes.
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
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ftp/FtpTypes.h"
#include "ftp/RemoteEntry.h"
#include "sftp/HostKey.h"
#include "sftp/TransferWindow.h"

namespace ftp {
class AbortSignal;
class PartialFile;
class WireNames;
}

namespace sftp {
class SshConnection;
class Watchdog;
}
struct sftp_session_struct;

class SftpClient {
public:
    SftpClient();
    ~SftpClient();
    SftpClient(const SftpClient&) = delete;
    SftpClient& operator=(const SftpClient&) = delete;

    // Closes any old connection first, so a failed connect leaves the client
    // disconnected. Port 0 means 22. An empty user is the local account's
    // name; an empty password logs in with the ssh-agent's keys and the
    // default key files, as OpenSSH does. passive means nothing to SFTP.
    bool connect(const std::string& address, const std::string& user, const std::string& password,
                 int port = 22, bool passive = false);
    // The same on a TCP connection already made to address:port (after its
    // first bytes were peeked at to learn the protocol). The client owns fd
    // from here on, whatever the result.
    bool connectOnSocket(int fd, const std::string& address, const std::string& user,
                         const std::string& password, int port);
    // Closes the SFTP channel and the connection.
    void disconnect();
    bool isConnected() const;

    // Downloads into a partial file created new beside localPath and
    // replaces localPath only when the whole file arrived; a failed transfer
    // leaves localPath as it was and removes the partial file. The byte
    // count must match the file's size as the server states it when it is
    // opened, or else expectedSize (the listing's, -1 when unknown); a file
    // that ends sooner or goes on longer fails. textMode means nothing to
    // SFTP, which has no text transfers.
    bool getFile(const std::string& remoteName, const std::string& localPath, bool textMode = false,
                 int64_t expectedSize = -1);
    // Uploads a regular local file (a link is followed to one), replacing
    // the remote file.
    bool putFile(const std::string& localPath, const std::string& remoteName, bool textMode = false);
    // Removes a file, or a link itself (never its target).
    bool deleteFile(const std::string& remoteName);
    // Never replaces an existing entry: fails when newName exists.
    bool renameFile(const std::string& oldName, const std::string& newName);
    bool makeDirectory(const std::string& dir);
    // The same, and the name of the folder that now exists (SFTP servers
    // store the name asked for).
    bool makeDirectory(const std::string& dir, std::string& createdName);
    bool removeDirectory(const std::string& dir);
    // Enters a directory (relative to the current one, or absolute) once
    // the server confirms it is one; ".." and "." are resolved by the text.
    bool setCurrentDirectory(const std::string& dir);
    // The current directory; empty when not connected.
    std::string currentDirectory();
    // As FtpClient::listDirectory: the directory part of the pattern,
    // entries whose name matches its last component, filtered by attribute
    // bits; the arrays asked for are cleared and filled in server order.
    int listDirectory(const std::string& pattern, int filter = -1, std::vector<std::string>* names = nullptr,
                      std::vector<int>* attributes = nullptr, std::vector<int64_t>* sizes = nullptr,
                      std::vector<RemoteTime>* times = nullptr);
    // The entries of a directory ("" is the current one) in server order,
    // "." and ".." left out, types from the attributes: a link is a link
    // (kAttrLink, never a folder), whatever it points to. Sizes are 64-bit,
    // times UTC. The listing must end within the listing time-out and stay
    // within the caps of FTP listings; one that does not arrive whole comes
    // back incomplete and empty. With confirmFolders, a folder is kept a
    // folder only when the server's lstat says so too (for servers that
    // follow links in their listings); any other is marked a link.
    DirectoryListing listEntries(const std::string& directory, bool confirmFolders = false);
    // SFTP listings tell links apart on their own.
    bool listsWithMlsd() const { return false; }

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
    // acceptMs means nothing to SFTP.
    void setTimeouts(const FtpTimeouts& timeouts);
    FtpTimeouts timeouts() const;

    // The known-hosts file keys accepted by the host-key check are added
    // to (created 0600). Empty: accepted keys count for this connect only.
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
    // parts once the key exchange is done, tlsVersion naming the SSH
    // cipher ("SSH chacha20-poly1305@openssh.com, curve25519-sha256").
    // A key that was not trusted gives CertificateRejected, a failed key
    // exchange HandshakeFailed.
    ConnectionSecurity security() const;

private:
    bool readyLocked();
    void finishLocked();
    void closeConnectionLocked();
    void beginWaitLocked(int ms);
    void endWaitLocked();
    void shutdownSocket();
    uint64_t beginConnectLocked(int& port);
    bool startSessionLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, int fd,
                            const std::string& address, const std::string& user,
                            const std::string& password, int port);
    bool trustServerLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, const std::string& host,
                           int port);
    bool askAboutKeyLocked(std::unique_lock<std::mutex>& lock, uint64_t attempt, const std::string& host,
                           int port, const sftp::HostKey& key);
    void noteVerdict(sftp::HostKeyVerdict verdict, SecurityFailure failure);
    bool settleTransferSizesLocked();
    bool toWireLocked(const std::string& path, std::string& wire) const;
    bool downloadLocked(const std::string& wire, ftp::PartialFile& partial, int64_t offset, int64_t expectedSize);
    bool uploadLocked(int fd, const std::string& wire);
    int entryTypeLocked(const std::string& wire, bool followLinks);
    bool readListingLocked(const std::string& wire, DirectoryListing& listing, std::vector<std::string>& wires);
    void markUnconfirmedFoldersLocked(const std::string& wire, DirectoryListing& listing,
                                      const std::vector<std::string>& wires);
    void nameEntriesLocked(const std::string& directory, DirectoryListing& listing,
                           std::vector<std::string>& wires);
    void publishPartial(const std::string& localPath, const std::string& partialPath);
    bool simpleRequestLocked(const std::string& path, int (*request)(sftp_session_struct*, const char*));

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
    std::unique_ptr<ftp::AbortSignal> abort_;
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
    // Counts connects: one that waited for a host-key decision learns
    // whether another connect or a disconnect took the client over.
    uint64_t connectAttempt_ = 0;
    std::string currentWire_;  // the current directory, as the server's bytes
    sftp::TransferWindow readWindow_;
    sftp::TransferWindow writeWindow_;
};
