#include "tests/support/FtpServers.h"

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

constexpr int kStartWaitMs = 10000;
constexpr int kStartAttempts = 3;
const char* kPython = "/usr/bin/python3";
const char* kVsftpd = "/usr/sbin/vsftpd";

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Starts argv[0] with stdin on stdinPath (read-write) and output discarded.
pid_t launch(const std::vector<std::string>& argv, const std::string& stdinPath) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    int in = ::open(stdinPath.c_str(), O_RDWR | O_CREAT, 0600);
    int out = ::open("/dev/null", O_WRONLY);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::execv(args[0], args.data());
    ::_exit(127);
}

void terminate(pid_t& pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

// Waits until the server accepts on the port; false when it died first.
bool waitUntilListening(pid_t pid, int port) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        if (portAccepts(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

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

bool portAccepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// ---- pyftpdlib

PyFtpdServer::~PyFtpdServer() { stop(); }

bool PyFtpdServer::start(const std::string& rootDir, const std::string& user, const std::string& password) {
    stop();
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        port_ = findFreePort();
        pid_ = launch({kPython, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port_), "-w", "-d",
                       rootDir, "-u", user, "-P", password},
                      "/dev/null");
        if (pid_ > 0 && waitUntilListening(pid_, port_))
            return true;
        terminate(pid_);
    }
    port_ = 0;
    return false;
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

bool VsftpdServer::writeConfig(const std::string& rootDir) {
    std::string config =
        "listen=YES\n"
        "listen_ipv6=NO\n"
        "listen_address=127.0.0.1\n"
        "listen_port=" + std::to_string(port_) + "\n"
        "background=NO\n"
        "secure_chroot_dir=" + workDir_ + "/empty\n"
        "seccomp_sandbox=NO\n"
        "port_enable=YES\n"
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
        "xferlog_enable=NO\n";
    writeFileBytes(workDir_ + "/vsftpd.conf", config);
    return true;
}

bool VsftpdServer::start(const std::string& rootDir) {
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
        port_ = findFreePort();
        writeConfig(rootDir);
        std::filesystem::remove(workDir_ + "/errors", ec);
        pid_ = launch({kVsftpd, workDir_ + "/vsftpd.conf"}, workDir_ + "/errors");
        if (pid_ > 0 && waitUntilListening(pid_, port_))
            return true;
        terminate(pid_);
    }
    port_ = 0;
    return false;
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
