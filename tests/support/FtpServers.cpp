#include "tests/support/FtpServers.h"

#include "tests/support/ServerProcess.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int kStartAttempts = 3;
const char* kPython = "/usr/bin/python3";

// pyftpdlib's TLS handler with TLS required on control and data
// connections; it logs the port it listens on like "python3 -m pyftpdlib".
// Arguments: root user password certificate key tls12-only passive-only.
const char* kPyFtpdTlsScript = R"(
import logging, sys
from OpenSSL import SSL
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_FTPHandler
from pyftpdlib.servers import FTPServer
root, user, password, cert, key, tls12, passive = sys.argv[1:8]
logging.basicConfig(level=logging.INFO)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
class Handler(TLS_FTPHandler):
    def ftp_PORT(self, line):
        if passive == "1":
            return self.respond("500 active mode is off")
        return TLS_FTPHandler.ftp_PORT(self, line)
    def ftp_EPRT(self, line):
        if passive == "1":
            return self.respond("500 active mode is off")
        return TLS_FTPHandler.ftp_EPRT(self, line)
Handler.authorizer = authorizer
Handler.certfile = cert
Handler.keyfile = key
Handler.tls_control_required = True
Handler.tls_data_required = True
if tls12 == "1":
    Handler.ssl_options = Handler.ssl_options | SSL.OP_NO_TLSv1_3
FTPServer(("127.0.0.1", 0), Handler).serve_forever()
)";
// pyftpdlib with faults on purpose (PyFtpdFaults). Arguments: root user
// password cut-download cut-upload refuse-rest idle max-connections log
// drop-retr log-ports passive-only slow-delete-ms data-bytes-per-second.
const char* kPyFtpdFaultScript = R"(
import logging, sys
from pyftpdlib import handlers
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.servers import FTPServer
root, user, password = sys.argv[1:4]
cut_download, cut_upload, refuse_rest, idle, max_cons = (int(a) for a in sys.argv[4:9])
log_path = sys.argv[9]
drop_retr, log_ports, passive_only, slow_delete_ms, data_rate = (int(a) for a in sys.argv[10:15])
retrs = {"count": 0}
logging.basicConfig(level=logging.INFO)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
cut = {"download": False, "upload": False}
FileProducer = handlers.FileProducer
class CuttingProducer(FileProducer):
    def more(self):
        data = FileProducer.more(self)
        if cut_download and not cut["download"] and self.file.tell() >= cut_download:
            cut["download"] = True
            raise RuntimeError("download cut on purpose")
        return data
handlers.FileProducer = CuttingProducer
class CuttingDTP(handlers.ThrottledDTPHandler if data_rate else handlers.DTPHandler):
    read_limit = write_limit = data_rate
    def handle_read(self):
        handlers.DTPHandler.handle_read(self)
        if cut_upload and self.receive and not cut["upload"] and self.tot_bytes_received >= cut_upload:
            cut["upload"] = True
            raise RuntimeError("upload cut on purpose")
    handle_read_event = handle_read
class Handler(handlers.FTPHandler):
    dtp_handler = CuttingDTP
    use_sendfile = False
    def pre_process_command(self, line, cmd, arg):
        if log_path and cmd != "PASS":
            with open(log_path, "a") as f:
                f.write((f"{self.remote_port} " if log_ports else "") + line + "\n")
        if cmd == "RETR":
            retrs["count"] += 1
            if retrs["count"] == drop_retr:
                return self.close()
        if cmd == "DELE" and slow_delete_ms:
            # Answered later; the other sessions are served meanwhile.
            return self.ioloop.call_later(slow_delete_ms / 1000.0, handlers.FTPHandler.pre_process_command,
                                          self, line, cmd, arg)
        return handlers.FTPHandler.pre_process_command(self, line, cmd, arg)
    def ftp_PORT(self, line):
        if passive_only:
            return self.respond("500 active mode is off")
        return handlers.FTPHandler.ftp_PORT(self, line)
    def ftp_EPRT(self, line):
        if passive_only:
            return self.respond("500 active mode is off")
        return handlers.FTPHandler.ftp_EPRT(self, line)
    def ftp_REST(self, line):
        if refuse_rest:
            return self.respond("502 REST not implemented.")
        return handlers.FTPHandler.ftp_REST(self, line)
    def on_login(self, username):
        # This pyftpdlib's own idle time-out does not fire once logged in.
        if idle:
            self.ioloop.call_later(idle, self.drop_idle)
    def drop_idle(self):
        if not self._closed:
            self.respond("421 Control connection timed out.")
            self.close_when_done()
Handler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), Handler)
if max_cons:
    server.max_cons_per_ip = max_cons
server.serve_forever()
)";
const char* kVsftpd = "/usr/sbin/vsftpd";

std::string makeWorkDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/corvane-ftpd-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return {};
    // Every parent must be traversable for the unprivileged login.
    std::filesystem::permissions(pattern, std::filesystem::perms(0755));
    return pattern;
}

bool chownTree(const std::string& path, uid_t uid, gid_t gid) {
    std::error_code ec;
    if (::lchown(path.c_str(), uid, gid) != 0)
        return false;
    if (!std::filesystem::is_directory(path, ec))
        return true;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (::lchown(it->path().c_str(), uid, gid) != 0)
            return false;
    return !ec;
}

} // namespace

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int findFreeServerPort() {
    // Below the system's ephemeral range (32768 and up), where no socket of
    // another test (such as an active-mode data listener) is given a port
    // between our check and the server's bind.
    static unsigned seed = static_cast<unsigned>(::getpid()) * 7919u;
    for (int attempt = 0; attempt < 200; ++attempt) {
        seed = seed * 1103515245u + 12345u;
        int port = 20000 + static_cast<int>((seed >> 8) % 12000);
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int reuse = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        sockaddr_in address = loopback(port);
        bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free)
            return port;
    }
    return findFreePort();
}

int findFreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

int listenOnLowPort(int& port) {
    for (port = 1023; port > 900; --port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(port);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 4) == 0)
            return fd;
        ::close(fd);
    }
    port = 0;
    return -1;
}

bool portAccepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// ---- pyftpdlib

PyFtpdServer::~PyFtpdServer() { stop(); }

bool PyFtpdServer::launchUntilListening(const std::vector<std::string>& argv) {
    stop();
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        TempFolder logFolder;
        const std::string log = logFolder.file("pyftpdlib.log");
        pid_ = launch(argv, "/dev/null", log);
        port_ = pid_ > 0 ? waitForLoggedPort(pid_, log, "server on 127.0.0.1:") : 0;
        if (port_ > 0)
            return true;
        terminate(pid_);
    }
    port_ = 0;
    return false;
}

bool PyFtpdServer::start(const std::string& rootDir, const std::string& user, const std::string& password,
                         int port) {
    return launchUntilListening({kPython, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port), "-w", "-d",
                                 rootDir, "-u", user, "-P", password});
}

bool PyFtpdServer::startTls(const std::string& rootDir, const ServerTls& tls, const std::string& user,
                            const std::string& password) {
    return launchUntilListening({kPython, "-c", kPyFtpdTlsScript, rootDir, user, password, tls.certificate, tls.key,
                                 tls.tls12Only ? "1" : "0", tls.passiveOnly ? "1" : "0"});
}

bool PyFtpdServer::startWithFaults(const std::string& rootDir, const PyFtpdFaults& faults) {
    return launchUntilListening({kPython, "-c", kPyFtpdFaultScript, rootDir, kPyFtpdUser, kPyFtpdPassword,
                                 std::to_string(faults.cutDownloadAt), std::to_string(faults.cutUploadAt),
                                 faults.refuseRest ? "1" : "0", std::to_string(faults.idleSeconds),
                                 std::to_string(faults.maxConnections), faults.commandLog,
                                 std::to_string(faults.dropRetr), faults.logPorts ? "1" : "0",
                                 faults.passiveOnly ? "1" : "0", std::to_string(faults.slowDeleteMs),
                                 std::to_string(faults.dataBytesPerSecond)});
}

void PyFtpdServer::stop() {
    terminate(pid_);
}

// ---- vsftpd

VsftpdServer::~VsftpdServer() { stop(); }

bool VsftpdServer::available() const {
    return ::geteuid() == 0 && ::access(kVsftpd, X_OK) == 0 && ::getpwnam("ftp") != nullptr;
}

bool VsftpdServer::handOver(const std::string& path) {
    passwd* ftp = ::getpwnam("ftp");
    return ftp && chownTree(path, ftp->pw_uid, ftp->pw_gid);
}

bool VsftpdServer::writeConfig(const std::string& rootDir, const ServerTls* tls) {
    std::string config =
        "listen=YES\n"
        "listen_ipv6=NO\n"
        "listen_address=127.0.0.1\n"
        "listen_port=" + std::to_string(port_) + "\n"
        "background=NO\n"
        "secure_chroot_dir=" + workDir_ + "/empty\n"
        "seccomp_sandbox=NO\n"
        "port_enable=" + std::string(tls && tls->passiveOnly ? "NO" : "YES") + "\n"
        "connect_from_port_20=NO\n"
        "pasv_enable=YES\n"
        "pasv_address=127.0.0.1\n"
        "anonymous_enable=YES\n"
        "no_anon_password=YES\n"
        "anon_root=" + rootDir + "\n"
        "local_enable=NO\n"
        "write_enable=YES\n"
        "anon_upload_enable=YES\n"
        "anon_mkdir_write_enable=YES\n"
        "anon_other_write_enable=YES\n"
        "anon_umask=022\n"
        "utf8_filesystem=YES\n"
        "xferlog_enable=" + std::string(options_.logProtocol ? "YES" : "NO") + "\n";
    if (options_.logProtocol)
        config += "log_ftp_protocol=YES\nxferlog_std_format=NO\nvsftpd_log_file=" + workDir_ + "/protocol.log\n";
    if (options_.idleSessionSeconds > 0)
        config += "idle_session_timeout=" + std::to_string(options_.idleSessionSeconds) + "\n";
    if (options_.maxClients > 0)
        config += "max_clients=" + std::to_string(options_.maxClients) + "\n";
    if (options_.maxPerIp > 0)
        config += "max_per_ip=" + std::to_string(options_.maxPerIp) + "\n";
    if (tls)
        config +=
            "ssl_enable=YES\n"
            "allow_anon_ssl=YES\n"
            "force_anon_logins_ssl=YES\n"
            "force_anon_data_ssl=YES\n"
            "require_ssl_reuse=YES\n"
            "ssl_ciphers=HIGH\n"
            "rsa_cert_file=" + tls->certificate + "\n"
            "rsa_private_key_file=" + tls->key + "\n";
    writeFileBytes(workDir_ + "/vsftpd.conf", config);
    return true;
}

bool VsftpdServer::start(const std::string& rootDir, const ServerTls* tls) {
    stop();
    if (!available())
        return false;
    workDir_ = makeWorkDir();
    if (workDir_.empty())
        return false;
    std::error_code ec;
    std::filesystem::create_directory(workDir_ + "/empty", ec);
    std::string writable = rootDir + "/" + kVsftpdWritableFolder;
    std::filesystem::create_directories(writable, ec);
    std::filesystem::permissions(rootDir, std::filesystem::perms(0755), ec);
    if (::chown(rootDir.c_str(), 0, 0) != 0 || !handOver(writable))
        return false;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        port_ = findFreeServerPort();
        writeConfig(rootDir, tls);
        std::filesystem::remove(workDir_ + "/errors", ec);
        std::vector<std::string> env;
        if (tls && tls->tls12Only) {
            // This vsftpd has no setting for TLS versions; OpenSSL's own
            // configuration caps them.
            writeFileBytes(workDir_ + "/openssl.cnf", "openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\n"
                                                      "system_default = tls\n[tls]\nMaxProtocol = TLSv1.2\n");
            env.push_back("OPENSSL_CONF=" + workDir_ + "/openssl.cnf");
        }
        pid_ = launch({kVsftpd, workDir_ + "/vsftpd.conf"}, workDir_ + "/errors", "/dev/null", env);
        if (pid_ > 0 && waitUntilListening(pid_, port_))
            return true;
        terminate(pid_);
    }
    port_ = 0;
    return false;
}

std::string VsftpdServer::protocolLog() const {
    return workDir_.empty() ? std::string() : readFileBytes(workDir_ + "/protocol.log");
}

std::string VsftpdServer::errors() const {
    return workDir_.empty() ? std::string() : readFileBytes(workDir_ + "/errors");
}

void VsftpdServer::stop() {
    terminate(pid_);
    if (!workDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(workDir_, ec);
        workDir_.clear();
    }
}

} // namespace testsupport
