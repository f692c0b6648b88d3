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
// A leading "--connections N" moves the files of getmany and putmany over N
// connections at once: the one that listed and N - 1 more made like it
// (RemoteSession::newConnectionLikeThis), each taking the next file until
// none is left. The other modes move one thing and take no N > 1.
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

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
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

// Moves files 0 .. count-1 over the first session and connections - 1 more
// like it, each file once: the number that failed.
int moveOverConnections(RemoteSession& first, int connections, std::size_t count,
                        const std::function<bool(RemoteSession&, std::size_t)>& move) {
    std::vector<std::unique_ptr<RemoteSession>> others;
    for (int k = 1; k < connections; ++k)
        others.push_back(first.newConnectionLikeThis());
    std::atomic<std::size_t> next{0};
    std::atomic<int> failed{0};
    auto lane = [&](RemoteSession& session) {
        for (std::size_t i = next++; i < count; i = next++)
            if (!move(session, i))
                ++failed;
    };
    std::vector<std::thread> threads;
    for (std::unique_ptr<RemoteSession>& other : others)
        threads.emplace_back([&lane, &other] {
            // One that cannot log in leaves its files to the others.
            if (other->reconnect())
                lane(*other);
        });
    lane(first);
    for (std::thread& thread : threads)
        thread.join();
    for (std::unique_ptr<RemoteSession>& other : others)
        other->disconnect();
    return failed;
}

// Each file with the listing's size, as the window's download passes it.
int getMany(RemoteSession& session, int connections, const std::string& remoteDir, const std::string& localDir) {
    std::vector<std::string> names;
    std::vector<int> attributes;
    std::vector<int64_t> sizes;
    session.listDirectory(remoteDir + "/*.*", -1, &names, &attributes, &sizes);
    std::vector<std::size_t> files;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!(attributes[i] & 16))
            files.push_back(i);
    const int failed = moveOverConnections(session, connections, files.size(), [&](RemoteSession& s, std::size_t k) {
        const std::size_t i = files[k];
        return s.getFile(remoteDir + "/" + names[i], localDir + "/" + names[i], false, sizes[i]);
    });
    return names.empty() ? -1 : failed;
}

int putMany(RemoteSession& session, int connections, const std::string& localDir, const std::string& remoteDir) {
    std::vector<platform::LocalEntry> entries = platform::listFolder(localDir + "/");
    std::vector<std::string> files;
    for (const platform::LocalEntry& e : entries)
        if (!(e.attributes & platform::kAttrDirectory))
            files.push_back(e.name);
    const int failed = moveOverConnections(session, connections, files.size(), [&](RemoteSession& s, std::size_t k) {
        return s.putFile(localDir + "/" + files[k], remoteDir + "/" + files[k]);
    });
    return entries.empty() ? -1 : failed;
}

} // namespace

int main(int argc, char** argv) {
    platform::keepFreedMemoryForReuse();
    const int connections = bench::takeConnections(argc, argv);
    if (argc < 5 || connections < 1)
        return bench::fail(kProgram, "usage: ftp_bench [--connections N] get|put|list|getmany|putmany PORT A B");
    const std::string mode = argv[1], port = argv[2], a = argv[3], b = argv[4];
    if (connections > 1 && mode != "getmany" && mode != "putmany")
        return bench::fail(kProgram, "--connections is for getmany and putmany");
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
        ok = getMany(*session, connections, a, b) == 0;
    } else if (mode == "putmany") {
        ok = putMany(*session, connections, a, b) == 0;
    }
    session->disconnect();
    double seconds = bench::secondsSince(start);
    if (!ok)
        return bench::fail(kProgram, mode + " failed");
    return bench::report(seconds);
}
