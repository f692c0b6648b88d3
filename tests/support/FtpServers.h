#pragma once
// Real FTP servers for the tests, each started on a free port of
// 127.0.0.1 and stopped (by the PID we started) when the object goes away.
//
//   PyFtpdServer s;  ASSERT_TRUE(s.start(folder.path()));
//   client.connect("127.0.0.1", "tester", "secret", s.port());
//
// PyFtpdServer: pyftpdlib, one user (default tester / secret) with write
// access to the whole root folder. MLSD, "125" replies, connects back as
// soon as it gets PORT.
//
// VsftpdServer: vsftpd, anonymous login (user "anonymous", any or no
// password). It only runs as root; tests skip themselves otherwise
// (available()). vsftpd refuses a root folder that the login can write, so
// the root stays read-only and its subfolder "pub" (kVsftpdWritableFolder)
// is the writable one: start() creates it if needed and gives everything in
// it to the "ftp" user. Files a test adds under "pub" after start() need
// handOver() before the server may delete or rename inside them. LIST only,
// numeric owners.
//
// Either can require TLS (ServerTls): control and data connections must be
// protected; vsftpd also requires every data connection to resume the
// control connection's TLS session.
#include <string>
#include <vector>
#include <netinet/in.h>
#include <sys/types.h>

namespace testsupport {

constexpr const char* kVsftpdWritableFolder = "pub";
constexpr const char* kPyFtpdUser = "tester";
constexpr const char* kPyFtpdPassword = "secret";

// TLS required by a server.
struct ServerTls {
    std::string certificate;  // PEM
    std::string key;          // PEM
    bool tls12Only = false;   // the server offers TLS 1.2 at most
    bool passiveOnly = false; // PORT and EPRT refused: clients fall back to passive mode
};

// 127.0.0.1:port as a socket address.
sockaddr_in loopback(int port);
// A pyftpdlib that misbehaves on purpose, and what it tells.
struct PyFtpdFaults {
    long long cutDownloadAt = 0;  // the first RETR breaks off (426) once this many bytes were read
    long long cutUploadAt = 0;    // the first STOR breaks off (426) once this many bytes arrived
    bool refuseRest = false;      // REST answers 502
    int idleSeconds = 0;          // a logged-in connection is closed with 421 this long after the login
    int maxConnections = 0;       // more from one address are turned away with 421 "Too many connections"
    std::string commandLog;       // every command line is appended to this file
    bool logPorts = false;        // each logged line starts with the client's port and a blank
    int dropRetr = 0;             // the connection sending this RETR (counting from 1) is closed unanswered
    // PORT and EPRT refused: this pyftpdlib's active mode stalls when
    // several sessions use it at once.
    bool passiveOnly = false;
    int slowDeleteMs = 0;         // each DELE is answered this much later (other sessions go on)
    int dataBytesPerSecond = 0;   // each data connection moves at most this much a second (0: no limit)
};

// vsftpd settings a test may change.
struct VsftpdOptions {
    int idleSessionSeconds = 0;  // idle_session_timeout (0: vsftpd's 300)
    int maxClients = 0;          // max_clients (0: no limit)
    int maxPerIp = 0;            // max_per_ip (0: no limit)
    bool logProtocol = false;    // the conversation goes to protocolLog()
};

// A port on 127.0.0.1 that was free a moment ago.
int findFreePort();
// A free port outside the ephemeral range, for servers that need their port
// chosen before they start.
int findFreeServerPort();
// True when something accepts connections on 127.0.0.1:port.
bool portAccepts(int port);
// A listening socket on a free port of 127.0.0.1 below 1024, where other
// services live (root only): the socket and its port, or -1.
int listenOnLowPort(int& port);

class PyFtpdServer {
public:
    PyFtpdServer() = default;
    ~PyFtpdServer();
    PyFtpdServer(const PyFtpdServer&) = delete;
    PyFtpdServer& operator=(const PyFtpdServer&) = delete;

    // port 0: a free one.
    bool start(const std::string& rootDir, const std::string& user = kPyFtpdUser,
               const std::string& password = kPyFtpdPassword, int port = 0);
    // pyftpdlib's TLS handler, TLS required on control and data connections.
    bool startTls(const std::string& rootDir, const ServerTls& tls, const std::string& user = kPyFtpdUser,
                  const std::string& password = kPyFtpdPassword);
    // Without TLS, with the faults asked for.
    bool startWithFaults(const std::string& rootDir, const PyFtpdFaults& faults);
    int port() const { return port_; }
    void stop();

private:
    bool launchUntilListening(const std::vector<std::string>& argv);

    pid_t pid_ = -1;
    int port_ = 0;
};

class VsftpdServer {
public:
    VsftpdServer() = default;
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    // rootDir: the anonymous root (read-only to the login); rootDir/pub is
    // made writable.
    bool start(const std::string& rootDir, const ServerTls* tls = nullptr);
    int port() const { return port_; }
    void stop();
    // For the next start().
    void setOptions(const VsftpdOptions& options) { options_ = options; }
    // With logProtocol: the conversation so far ("FTP command: ...").
    std::string protocolLog() const;
    // vsftpd is installed and we are root.
    bool available() const;
    // The start-up errors vsftpd reported, for test failure messages.
    std::string errors() const;
    // Gives a file or folder tree (under rootDir/pub) to the ftp user.
    static bool handOver(const std::string& path);

private:
    bool writeConfig(const std::string& rootDir, const ServerTls* tls);

    pid_t pid_ = -1;
    int port_ = 0;
    std::string workDir_;  // configuration, error file, secure_chroot_dir
    VsftpdOptions options_;
};

} // namespace testsupport
