// Times one operation of the engine the server calls for (FtpClient or
// SftpClient, chosen from the server's first bytes by remote::openSession,
// as the window's connect does) against a running server (scripts/bench
// starts vsftpd and sshd) and prints one BenchReport line. Each run
// connects, does the work and disconnects, like one curl, lftp or sftp call.
//   ftp_bench get  PORT REMOTE_FILE LOCAL_FILE
//   ftp_bench put  PORT LOCAL_FILE REMOTE_FILE
//   ftp_bench list PORT REMOTE_DIR EXPECTED_COUNT
//   ftp_bench getmany PORT REMOTE_DIR LOCAL_DIR   (every file of the directory)
//   ftp_bench putmany PORT LOCAL_DIR REMOTE_DIR   (every file of the folder, flat)
// A leading "--connections N" asks for N transfer connections at once; the
// engine has one, so N > 1 exits with "not built" (code 3).
// The environment sets up the login and the server's checks:
//   CORVANE_BENCH_USER         the login (default anonymous), password empty:
//                              over SFTP that is a key login
//   CORVANE_BENCH_CA           FTP over TLS: a PEM file the server is verified
//                              against (the TLS group's self-signed
//                              certificate) instead of the system's store
//   CORVANE_BENCH_SSH_DIR      SFTP: the folder of the key files
//   CORVANE_BENCH_KNOWN_HOSTS  SFTP: the known-hosts file that trusts the
//                              server's key (nothing is asked or written)
#include "bench/BenchReport.h"
#include "platform/FreedMemory.h"
#include "platform/LocalFiles.h"
#include "remote/OpenSession.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kProgram = "ftp_bench";

std::string environment(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

remote::SessionSetup benchSetup() {
    remote::SessionSetup setup;
    setup.ftp = [](FtpClient& client) {
        if (const char* ca = std::getenv("CORVANE_BENCH_CA"))
            client.setTrustedCertificates(ca);
    };
    setup.sftp = [](SftpClient& client) {
        client.setSshDirectory(environment("CORVANE_BENCH_SSH_DIR"));
        client.setTrustedKnownHostsFile(environment("CORVANE_BENCH_KNOWN_HOSTS"));
        client.setKnownHostsFile("");
    };
    return setup;
}

std::unique_ptr<RemoteSession> connectTo(const std::string& port) {
    const remote::ServerLogin login{"127.0.0.1", std::stoi(port), environment("CORVANE_BENCH_USER", "anonymous"), ""};
    remote::OpenedSession opened = remote::openSession(login, benchSetup());
    return opened.connected ? std::move(opened.session) : nullptr;
}

// Each file with the listing's size, as the window's download passes it.
int getMany(RemoteSession& session, const std::string& remoteDir, const std::string& localDir) {
    std::vector<std::string> names;
    std::vector<int> attributes;
    std::vector<int64_t> sizes;
    session.listDirectory(remoteDir + "/*.*", -1, &names, &attributes, &sizes);
    int failed = 0;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!(attributes[i] & 16) &&
            !session.getFile(remoteDir + "/" + names[i], localDir + "/" + names[i], false, sizes[i]))
            ++failed;
    return names.empty() ? -1 : failed;
}

int putMany(RemoteSession& session, const std::string& localDir, const std::string& remoteDir) {
    std::vector<platform::LocalEntry> entries = platform::listFolder(localDir + "/");
    int failed = 0;
    for (const platform::LocalEntry& e : entries)
        if (!(e.attributes & platform::kAttrDirectory) &&
            !session.putFile(localDir + "/" + e.name, remoteDir + "/" + e.name))
            ++failed;
    return entries.empty() ? -1 : failed;
}

} // namespace

int main(int argc, char** argv) {
    platform::keepFreedMemoryForReuse();
    const int connections = bench::takeConnections(argc, argv);
    if (argc < 5 || connections < 1)
        return bench::fail(kProgram, "usage: ftp_bench [--connections N] get|put|list|getmany|putmany PORT A B");
    if (connections > 1)
        return bench::notBuilt(kProgram, "the engine transfers on one connection");
    const std::string mode = argv[1], port = argv[2], a = argv[3], b = argv[4];
    auto start = bench::Clock::now();
    std::unique_ptr<RemoteSession> session = connectTo(port);
    if (!session)
        return bench::fail(kProgram, "connect failed");
    bool ok = false;
    if (mode == "get") {
        ok = session->getFile(a, b);
    } else if (mode == "put") {
        ok = session->putFile(a, b);
    } else if (mode == "list") {
        std::vector<std::string> names;
        std::vector<int64_t> sizes;
        int count = session->listDirectory(a + "/*.*", -1, &names, nullptr, &sizes);
        ok = count == std::stoi(b);
    } else if (mode == "getmany") {
        ok = getMany(*session, a, b) == 0;
    } else if (mode == "putmany") {
        ok = putMany(*session, a, b) == 0;
    }
    session->disconnect();
    double seconds = bench::secondsSince(start);
    if (!ok)
        return bench::fail(kProgram, mode + " failed");
    return bench::report(seconds);
}
