// A quick look at SFTP speed, not a benchmark: one file down and up
// against a private sshd on 127.0.0.1, with SftpClient, with OpenSSH's
// `sftp -b`, and with libssh's own sftp_read/sftp_write (one request per
// round trip, on a smaller file: it is slow), each run once in turn.
// Needs root (sshd).
//
//   sftp_speed_check [MiB]      (default 64)
#include "sftp/SftpClient.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/SshServers.h"
#include "tests/support/TempFolder.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<bool()>& run, bool& ok) {
    const auto start = Clock::now();
    ok = run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void report(const char* what, double seconds, bool ok, int64_t bytes) {
    std::printf("%-44s %7.3f s  %8.1f MiB/s%s\n", what, seconds, bytes / seconds / (1 << 20), ok ? "" : "  FAILED");
}

// libssh's blocking calls, as a client without a window of its own would
// use them; the session is connected and logged in outside the timing.
class PlainLibssh {
public:
    bool open(int port, const std::string& sshDir) {
        session_ = ssh_new();
        bool no = false;
        ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no);
        ssh_options_set(session_, SSH_OPTIONS_HOST, "127.0.0.1");
        ssh_options_set(session_, SSH_OPTIONS_PORT, &port);
        ssh_options_set(session_, SSH_OPTIONS_USER, "root");
        ssh_options_set(session_, SSH_OPTIONS_SSH_DIR, sshDir.c_str());
        if (ssh_connect(session_) != SSH_OK || ssh_userauth_publickey_auto(session_, nullptr, nullptr) != SSH_AUTH_SUCCESS)
            return false;
        sftp_ = sftp_new(session_);
        return sftp_ && sftp_init(sftp_) == 0;
    }
    ~PlainLibssh() {
        if (sftp_)
            sftp_free(sftp_);
        if (session_) {
            ssh_disconnect(session_);
            ssh_free(session_);
        }
    }
    bool download(const std::string& remote, const std::string& local) {
        sftp_file file = sftp_open(sftp_, remote.c_str(), O_RDONLY, 0);
        const int fd = ::open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char> buffer(32 * 1024);
        ssize_t n = 0;
        bool ok = file && fd >= 0;
        while (ok && (n = sftp_read(file, buffer.data(), buffer.size())) > 0)
            ok = ::write(fd, buffer.data(), static_cast<size_t>(n)) == n;
        if (file)
            sftp_close(file);
        ::close(fd);
        return ok && n == 0;
    }
    bool upload(const std::string& local, const std::string& remote) {
        sftp_file file = sftp_open(sftp_, remote.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fd = ::open(local.c_str(), O_RDONLY);
        std::vector<char> buffer(32 * 1024);
        ssize_t n = 0;
        bool ok = file && fd >= 0;
        while (ok && (n = ::read(fd, buffer.data(), buffer.size())) > 0)
            ok = sftp_write(file, buffer.data(), static_cast<size_t>(n)) == n;
        if (file)
            sftp_close(file);
        ::close(fd);
        return ok && n == 0;
    }

private:
    ssh_session session_ = nullptr;
    sftp_session sftp_ = nullptr;
};

bool openSshBatch(const testsupport::OpensshServer& server, const std::string& batch, const std::string& knownHosts) {
    return testsupport::runToEnd({"/usr/bin/sftp", "-q", "-b", batch, "-P", std::to_string(server.port()), "-i",
                                  server.clientKeyFolder() + "/id_ed25519", "-o", "UserKnownHostsFile=" + knownHosts,
                                  "-o", "StrictHostKeyChecking=accept-new", "root@127.0.0.1"});
}

} // namespace

int main(int argc, char** argv) {
    const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 64;
    const int64_t bytes = mib << 20;
    testsupport::TempFolder site, local;
    testsupport::OpensshServer server;
    if (!server.available() || !server.start(site.path())) {
        std::fprintf(stderr, "sshd could not be started (root needed)\n");
        return 1;
    }
    testsupport::writePatternFile(site.file("down.bin"), bytes);
    testsupport::writePatternFile(local.file("up.bin"), bytes);
    const uint64_t downHash = testsupport::fileHash(site.file("down.bin"));
    const uint64_t upHash = testsupport::fileHash(local.file("up.bin"));
    std::printf("%lld MiB against sshd on 127.0.0.1:%d\n", static_cast<long long>(mib), server.port());

    SftpClient client;
    client.setTrustedKnownHostsFile("");
    client.setSshDirectory(server.clientKeyFolder());
    client.setHostKeyCheck([](const std::string&, int, const sftp::HostKey&) { return true; });
    if (!client.connect("127.0.0.1", "root", "", server.port())) {
        std::fprintf(stderr, "SftpClient could not connect\n");
        return 1;
    }
    std::printf("SftpClient connection: %s\n", client.security().protection.c_str());
    bool ok = false;
    double s = secondsOf([&] { return client.getFile("down.bin", local.file("down-ours.bin")); }, ok);
    report("download, SftpClient (connected)", s, ok && testsupport::fileHash(local.file("down-ours.bin")) == downHash, bytes);
    s = secondsOf([&] { return client.putFile(local.file("up.bin"), "up-ours.bin"); }, ok);
    report("upload, SftpClient (connected)", s, ok && testsupport::fileHash(site.file("up-ours.bin")) == upHash, bytes);

    local.write("get.batch", "get down.bin " + local.file("down-openssh.bin") + "\n");
    local.write("put.batch", "put " + local.file("up.bin") + " up-openssh.bin\n");
    s = secondsOf([&] { return openSshBatch(server, local.file("get.batch"), local.file("kh")); }, ok);
    report("download, sftp -b (connect included)", s, ok, bytes);
    s = secondsOf([&] { return openSshBatch(server, local.file("put.batch"), local.file("kh")); }, ok);
    report("upload, sftp -b (connect included)", s, ok, bytes);
    local.write("none.batch", "pwd\n");
    s = secondsOf([&] { return openSshBatch(server, local.file("none.batch"), local.file("kh")); }, ok);
    std::printf("%-44s %7.3f s\n", "sftp -b connect and pwd alone", s);

    constexpr int64_t kPlainBytes = int64_t{4} << 20;
    testsupport::writePatternFile(site.file("plain.bin"), kPlainBytes);
    PlainLibssh plain;
    if (plain.open(server.port(), server.clientKeyFolder())) {
        s = secondsOf([&] { return plain.download("plain.bin", local.file("plain.bin")); }, ok);
        report("download 4 MiB, libssh sftp_read (connected)", s, ok, kPlainBytes);
        s = secondsOf([&] { return plain.upload(local.file("plain.bin"), "up-plain.bin"); }, ok);
        report("upload 4 MiB, libssh sftp_write (connected)", s, ok, kPlainBytes);
    }
    return 0;
}
