#pragma once
// Real SSH servers for the SFTP tests, each on a free port of 127.0.0.1 and
// stopped (by the PID we started) when the object goes away.
//
//   OpensshServer s;  if (!s.available()) GTEST_SKIP();
//   ASSERT_TRUE(s.start(site.path()));
//   client.setSshDirectory(s.clientKeyFolder());
//   client.connect("127.0.0.1", "root", "", s.port());
//
// OpensshServer: sshd with a configuration, host key and authorized key of
// its own, serving the site folder (the login folder) through
// internal-sftp to root, with key login only. sshd only runs as root.
//
// ScriptedSftpServer: an asyncssh server (scripted_sftp_server.py) serving
// its root folder to one user with a password and/or keyboard-interactive
// login, and with a fault when asked for (see the script).
#include <string>

#include <sys/types.h>

namespace testsupport {

constexpr const char* kSftpUser = "tester";
constexpr const char* kSftpPassword = "secret";

// An ed25519 key pair made by ssh-keygen, without a passphrase.
struct SshKeyPair {
    std::string privateKey;  // path; the public key is beside it with ".pub"
    bool make(const std::string& path);
    std::string publicKeyFile() const { return privateKey + ".pub"; }
    // "ssh-ed25519 AAAA..." as the .pub file holds it (without the comment).
    std::string publicLine() const;
    // As `ssh-keygen -l` shows it: "SHA256:...".
    std::string fingerprint() const;
};

// A known_hosts line for the key on 127.0.0.1:port ("[127.0.0.1]:port ...").
std::string knownHostsLine(const SshKeyPair& key, int port);

class OpensshServer {
public:
    OpensshServer() = default;
    ~OpensshServer();
    OpensshServer(const OpensshServer&) = delete;
    OpensshServer& operator=(const OpensshServer&) = delete;

    // sshd is installed and we are root.
    bool available() const;
    // extraConfig: sshd_config lines of the test's own ("MaxStartups 1\n").
    // port 0: a free one; another: that one, or false when it cannot be had.
    bool start(const std::string& siteDir, const std::string& extraConfig = "", int port = 0);
    int port() const { return port_; }
    // A folder with the client key as id_ed25519 (for setSshDirectory).
    std::string clientKeyFolder() const { return workDir_ + "/client"; }
    const SshKeyPair& hostKey() const { return hostKey_; }
    // sshd's log, for test failure messages.
    std::string log() const;
    void stop();

private:
    bool prepare();

    pid_t pid_ = -1;
    int port_ = 0;
    std::string workDir_;
    SshKeyPair hostKey_;
};

class ScriptedSftpServer {
public:
    enum class Login { Password, KeyboardInteractive, Both };

    ScriptedSftpServer() = default;
    ~ScriptedSftpServer();
    ScriptedSftpServer(const ScriptedSftpServer&) = delete;
    ScriptedSftpServer& operator=(const ScriptedSftpServer&) = delete;

    // fault: "none", "drop:N", "stall", "short:N" (see the script). The
    // host key is made on the first start and kept for later ones, unless
    // newHostKey.
    bool start(const std::string& rootDir, Login login = Login::Password, const std::string& fault = "none",
               bool newHostKey = false);
    int port() const { return port_; }
    const SshKeyPair& hostKey() const { return hostKey_; }
    // What the server wrote since it started ("login attempt" lines).
    std::string log() const;
    void stop();

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string workDir_;
    SshKeyPair hostKey_;
    int keys_ = 0;
};

} // namespace testsupport
