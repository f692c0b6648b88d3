#pragma once
// A connection to the current server, whatever protocol it speaks: what
// the transfer, delete and listing code asks of a server. FtpClient and
// SftpClient are the two kinds; how a server's protection is set up (TLS
// options, certificate and host-key checks) belongs to each of them and is
// done before connect().
//
// Paths are UTF-8 as the user sees them; each engine turns them into the
// server's own bytes. Every operation returns a result and never throws,
// runs whole under the session's lock (the window and workers may share one
// session), and is bounded by the time-outs. abort() from any thread ends a
// blocked operation.
//
// Surviving the network. After a failed operation, lastFailure() says
// whether trying again may help. A caller that retries does so like this:
//
//   bool ok = session.getFile(remote, local, false, size);
//   for (int retry = 1; !ok && worthRetrying(session.lastFailure()) && retry <= 3; ++retry) {
//       // wait (2 s, 4 s, 8 s...), ending the wait at once when stopped
//       if (!session.isConnected() && !session.reconnect())
//           continue;                   // reconnect's lastFailure() decides
//       ok = session.getFile(remote, local, false, size);  // continues the partial
//   }
//
// An upload's retry passes what the failed attempt reached:
//   session.putFile(local, remote, false, session.transferEnd())
// Before a user's command on a connection that sat idle:
//   if (!session.connectionAlive()) session.reconnect();
// Every 120 s while idle (on a worker: it waits for the answer):
//   session.keepAlive();
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ftp/FtpTypes.h"
#include "ftp/RemoteEntry.h"
#include "ftp/TransferFailure.h"

// The protocol a session speaks, for log lines and the set-up of its kind.
enum class Protocol { Ftp, Sftp };

class RemoteSession {
public:
    virtual ~RemoteSession() = default;

    virtual Protocol protocol() const = 0;

    // Closes any old connection first, so a failed connect leaves the
    // session disconnected. Port 0 is the protocol's own (21, 22). An empty
    // user is the protocol's default login. passive: FTP's data
    // connections; nothing to other protocols.
    virtual bool connect(const std::string& address, const std::string& user, const std::string& password,
                         int port = 0, bool passive = false) = 0;
    // Ends the connection; reconnect() then has nothing to repeat.
    virtual void disconnect() = 0;
    virtual bool isConnected() const = 0;

    // Downloads into a partial file created new beside localPath and
    // replaces localPath only when the whole file arrived, its size
    // checked; a failed download leaves localPath as it was. expectedSize
    // is the listing's size (-1: unknown). With a resume folder set, a
    // large download that broke off keeps its partial, and the next getFile
    // of the same file to the same localPath continues it when the remote
    // file did not change. A partial file of anyone else is never touched.
    // textMode: line ends converted, where the protocol has such a mode.
    virtual bool getFile(const RemoteName& remote, const std::string& localPath, bool textMode = false,
                         int64_t expectedSize = -1) = 0;
    // Sends the file, replacing the remote one. resumeLimit > 0: an earlier
    // attempt broke off having reached that offset (its transferEnd()); a
    // remote file of 1 to resumeLimit bytes (and no longer than the local
    // one) is then continued from its end, checked afterwards, and sent
    // again whole if it is wrong. Otherwise the whole file is sent.
    virtual bool putFile(const std::string& localPath, const RemoteName& remote, bool textMode = false,
                         int64_t resumeLimit = 0) = 0;
    virtual bool deleteFile(const RemoteName& remote) = 0;
    // Never replaces an entry silently where the protocol lets the client
    // tell; replace: the user agreed to replace a file of the new name. A
    // relative new name lands in newNameFolder when it is given, otherwise
    // in the session's current directory.
    virtual bool renameFile(const RemoteName& oldName, const std::string& newName,
                            const RemoteName& newNameFolder = RemoteName(), bool replace = false) = 0;
    virtual bool makeDirectory(const RemoteName& dir) = 0;
    // The same, and the name the server says the folder got (some servers
    // store another name than the one asked for). Only the server's word:
    // callers check it against a listing before they act on it.
    virtual bool makeDirectory(const RemoteName& dir, std::string& createdName) = 0;
    virtual bool removeDirectory(const RemoteName& dir) = 0;
    virtual bool setCurrentDirectory(const RemoteName& dir) = 0;
    // Empty on failure.
    virtual std::string currentDirectory() = 0;
    // Lists the directory part of the pattern and keeps the entries whose
    // name matches its last component ("*", "?"; "*.*" counts as "*").
    // filter -1 keeps all; otherwise its bits 0x37 are compared with the
    // entry's attributes. The arrays asked for are cleared and filled in
    // server order. Returns the count.
    virtual int listDirectory(const std::string& pattern, int filter = -1, std::vector<std::string>* names = nullptr,
                              std::vector<int>* attributes = nullptr, std::vector<int64_t>* sizes = nullptr,
                              std::vector<RemoteTime>* times = nullptr) = 0;
    // The entries of a directory ("" is the current one) in server order,
    // "." and ".." left out; incomplete and empty when the listing did not
    // arrive whole. With confirmFolders, a folder is kept a folder only when
    // the server confirms it is a real directory; any other is marked a
    // link, so a walk never goes through it.
    virtual DirectoryListing listEntries(const RemoteName& directory, bool confirmFolders = false) = 0;

    // The server's bytes for a shown path as the session sends it now:
    // names listed in their directory go back in the bytes they came in.
    // Never waits for a running operation.
    virtual std::string wirePath(const std::string& path) const = 0;
    // The bytes of a path below a folder whose bytes are known (relative
    // uses "/"; its names go by the session's rules).
    virtual std::string wirePathBelow(const RemoteName& folder, const std::string& relative) const = 0;
    // The same for many entries of one folder at once.
    virtual std::vector<std::string> wirePathsBelow(const RemoteName& folder,
                                                    const std::vector<std::string>& names) const = 0;
    // True while this connection's listings may call a link to a folder a
    // folder: a walk that must not follow links lists with confirmFolders.
    virtual bool listedFoldersMayBeLinks() const = 0;

    // Any thread: closes the connection under a running operation, which
    // then fails promptly. The session is disconnected afterwards.
    virtual void abort() = 0;
    // Any thread: aborts the operation running now, if there is one; an
    // idle connection is left as it is.
    virtual void abortRunningOperation() = 0;
    // The partial file the current or last download of localPath writes;
    // empty when no download was for localPath.
    virtual std::string partialPathFor(const std::string& localPath) const = 0;
    // Bytes moved by the current or last transfer.
    virtual int64_t transferredBytes() const = 0;
    // Where in the file the current or last transfer got to: the offset it
    // started at (a continued one) plus the bytes moved.
    virtual int64_t transferEnd() const = 0;
    virtual void setTimeouts(const FtpTimeouts& timeouts) = 0;
    virtual FtpTimeouts timeouts() const = 0;
    // How the current connection (or the last attempt) is protected.
    virtual ConnectionSecurity security() const = 0;

    // Why the last operation this thread ran on this session failed; None
    // after a success. Kept per thread.
    virtual TransferFailure lastFailure() const = 0;
    // Connects again as the last connect did (same server, port, login and
    // protection; a server identity the user accepted is accepted again
    // without asking) and returns to the folder the connection was in.
    // False when there is nothing to repeat or a step fails; lastFailure()
    // says why (TooManyConnections: wait before the next try).
    virtual bool reconnect() = 0;
    // Without waiting and without sending anything: false when the
    // connection is gone (the server closed it while it was idle); true
    // while another thread's operation runs.
    virtual bool connectionAlive() = 0;
    // When idle and connected: asks the server something that needs an
    // answer, and tells whether the connection is still good. Waits for
    // the answer (within the reply time-out): call it off the UI thread.
    // While an operation runs it sends nothing and returns true at once.
    virtual bool keepAlive() = 0;
    // The folder for the records of partial downloads that may be
    // continued (the settings folder); empty keeps no partial file of a
    // failed download.
    virtual void setResumeFolder(const std::string& folder) = 0;

    // Another connection to the same server: a new session, not yet
    // connected, set up as this one is (time-outs, checks, resume folder).
    // Its reconnect() connects as this one's last connect did, with this
    // one's trust decisions (a certificate or host key the user accepted
    // is not asked about again; a TLS session is resumed where the server
    // allows) and what this one learnt of the server, and enters the
    // folder this connection is in. Waits for an operation running on
    // this session.
    virtual std::unique_ptr<RemoteSession> newConnectionLikeThis() const = 0;
};
