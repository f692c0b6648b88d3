#pragma once
// One SSH connection and its SFTP channel, through libssh: the key
// exchange on a socket that is already connected, then (once the caller
// trusted the server's key and logged in) the SFTP subsystem. Freed with
// the object.
#include <string>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <sys/types.h>

namespace sftp {

struct SessionSettings {
    std::string host;  // as the user gave it: known-hosts entries name it so
    int port = 22;
    std::string user;  // empty: the local account's name
    // Known-hosts files: the first is the one keys are added to; libssh
    // prefers the key types on record in either when it negotiates.
    std::string ownKnownHosts;
    std::string trustedKnownHosts;
    std::string sshDirectory;  // where the default key files are; empty: ~/.ssh
};

class SshConnection {
public:
    SshConnection() = default;
    ~SshConnection();
    SshConnection(const SshConnection&) = delete;
    SshConnection& operator=(const SshConnection&) = delete;

    // Takes the connected socket over (it is closed with the session) and
    // runs the key exchange on it.
    bool handshake(int fd, const SessionSettings& settings);
    // Opens the SFTP channel and agrees on the protocol version.
    bool openSftp();
    // Says goodbye to the server (when the socket still works) and frees
    // everything.
    void close();

    ssh_session session() const { return session_; }
    sftp_session sftp() const { return sftp_; }
    // False once the connection or the SFTP channel failed or was closed.
    bool alive() const;
    // libssh's own bound on each of its waits, in seconds; 0: the default,
    // far beyond ours (the watchdog's), so libssh never gives up on its own.
    void limitLibsshWaits(long seconds);
    // While nothing runs: takes in what the server sent meanwhile (libssh
    // answers a keep-alive of the server's own; a goodbye or the end of the
    // channel is noted), without waiting. False once the connection is gone.
    bool quietWhileIdle();
    // After a failed handshake or login: the server turned the connection
    // away for its connection limit. It either said so when it ended the
    // connection ("too many connections"), or closed it before sending
    // its version line: OpenSSH past MaxStartups closes at once (its
    // "Exceeded MaxStartups" comes before the version line, where libssh
    // drops it).
    bool refusedForConnectionLimit() const;
    // The server ended the connection with a reason of its own (too many
    // login failures, say): no mere loss of the link.
    bool serverEndedIt() const;
    // What protects the connection: "SSH aes256-gcm@openssh.com,
    // curve25519-sha256" (with the MAC when the cipher has none of its own,
    // and both ciphers when the directions differ).
    std::string protection() const;

private:
    void closeSocketIfLeftOpen();

    ssh_session session_ = nullptr;
    sftp_session sftp_ = nullptr;
    // The socket libssh was given, known by its inode: libssh closes it
    // when the connection fails, but not when it ends in order.
    int socket_ = -1;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
};

} // namespace sftp
