#include "tests/support/SshServers.h"

#include "tests/support/FtpServers.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <sstream>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int kStartAttempts = 3;
const char* kSshd = "/usr/sbin/sshd";
const char* kSshKeygen = "/usr/bin/ssh-keygen";
const char* kPython = "/usr/bin/python3";

std::string makeWorkDir(const std::string& prefix) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/" + prefix + "-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

// The output of a shell command line, through a file.
std::string outputOf(const std::string& commandLine, const std::string& scratch) {
    if (!runToEnd({"/bin/sh", "-c", commandLine + " >'" + scratch + "'"}))
        return {};
    return readFileBytes(scratch);
}

} // namespace

bool SshKeyPair::make(const std::string& path) {
    privateKey = path;
    return runToEnd({kSshKeygen, "-q", "-t", "ed25519", "-N", "", "-C", "test", "-f", path});
}

std::string SshKeyPair::publicLine() const {
    std::istringstream words(readFileBytes(publicKeyFile()));
    std::string type, key;
    words >> type >> key;
    return type + " " + key;
}

std::string SshKeyPair::fingerprint() const {
    // "256 SHA256:... test (ED25519)"
    const std::string line = outputOf(std::string(kSshKeygen) + " -l -f '" + publicKeyFile() + "'",
                                      privateKey + ".fingerprint");
    const std::size_t start = line.find(' ');
    const std::size_t end = start == std::string::npos ? start : line.find(' ', start + 1);
    return end == std::string::npos ? std::string() : line.substr(start + 1, end - start - 1);
}

std::string knownHostsLine(const SshKeyPair& key, int port) {
    return "[127.0.0.1]:" + std::to_string(port) + " " + key.publicLine() + "\n";
}

// ---- OpenSSH

OpensshServer::~OpensshServer() { stop(); }

bool OpensshServer::available() const {
    return ::geteuid() == 0 && ::access(kSshd, X_OK) == 0 && ::access(kSshKeygen, X_OK) == 0;
}

bool OpensshServer::prepare() {
    workDir_ = makeWorkDir("corvane-sshd");
    if (workDir_.empty())
        return false;
    std::error_code ec;
    std::filesystem::create_directory(clientKeyFolder(), ec);
    // The folder for privilege separation that sshd insists on.
    std::filesystem::create_directories("/run/sshd", ec);
    SshKeyPair client;
    if (!hostKey_.make(workDir_ + "/host_ed25519") || !client.make(clientKeyFolder() + "/id_ed25519"))
        return false;
    writeFileBytes(workDir_ + "/authorized_keys", readFileBytes(client.publicKeyFile()));
    ::chmod((workDir_ + "/authorized_keys").c_str(), 0600);
    return true;
}

bool OpensshServer::start(const std::string& siteDir, const std::string& extraConfig, int port) {
    stop();
    if (!available() || !prepare())
        return false;
    for (int attempt = 0; attempt < (port == 0 ? kStartAttempts : 1); ++attempt) {
        port_ = port == 0 ? findFreeServerPort() : port;
        writeFileBytes(workDir_ + "/sshd_config",
                       extraConfig +
                       "Port " + std::to_string(port_) + "\n"
                       "ListenAddress 127.0.0.1\n"
                       "HostKey " + hostKey_.privateKey + "\n"
                       "PidFile none\n"
                       "AuthorizedKeysFile " + workDir_ + "/authorized_keys\n"
                       "PasswordAuthentication no\n"
                       "KbdInteractiveAuthentication no\n"
                       "UsePAM no\n"
                       "PermitRootLogin prohibit-password\n"
                       "StrictModes no\n"
                       "Subsystem sftp internal-sftp\n"
                       "ForceCommand internal-sftp -d " + siteDir + "\n");
        pid_ = launch({kSshd, "-D", "-f", workDir_ + "/sshd_config", "-E", workDir_ + "/sshd.log"}, "/dev/null");
        if (pid_ > 0 && waitUntilListening(pid_, port_))
            return true;
        terminate(pid_);
    }
    port_ = 0;
    return false;
}

std::string OpensshServer::log() const {
    return workDir_.empty() ? std::string() : readFileBytes(workDir_ + "/sshd.log");
}

void OpensshServer::stop() {
    terminate(pid_);
    if (!workDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(workDir_, ec);
        workDir_.clear();
    }
}

// ---- asyncssh

ScriptedSftpServer::~ScriptedSftpServer() {
    stop();
    if (!workDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(workDir_, ec);
    }
}

bool ScriptedSftpServer::start(const std::string& rootDir, Login login, const std::string& fault, bool newHostKey) {
    stop();
    if (workDir_.empty())
        workDir_ = makeWorkDir("corvane-sftpd");
    if (workDir_.empty())
        return false;
    if ((keys_ == 0 || newHostKey) && !hostKey_.make(workDir_ + "/host_key_" + std::to_string(++keys_)))
        return false;
    const char* logins[] = {"password", "kbdint", "both"};
    const std::string script = std::string(CORVANE_TEST_SUPPORT_DIR) + "/scripted_sftp_server.py";
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        // The log of an earlier start must not be read for this one.
        const std::string log = workDir_ + "/server.log";
        std::error_code ec;
        std::filesystem::remove(log, ec);
        pid_ = launch({kPython, script, "--root", rootDir, "--host-key", hostKey_.privateKey, "--user", kSftpUser,
                       "--password", kSftpPassword, "--login", logins[static_cast<int>(login)], "--fault", fault},
                      "/dev/null", log);
        port_ = pid_ > 0 ? waitForLoggedPort(pid_, log, "listening on ") : 0;
        if (port_ > 0)
            return true;
        terminate(pid_);
    }
    port_ = 0;
    return false;
}

std::string ScriptedSftpServer::log() const {
    return workDir_.empty() ? std::string() : readFileBytes(workDir_ + "/server.log");
}

void ScriptedSftpServer::stop() {
    terminate(pid_);
    port_ = 0;
}

} // namespace testsupport
