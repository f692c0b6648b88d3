// Times one operation of the FtpClient engine against a running server
// (scripts/bench starts vsftpd) and prints one BenchReport line. Each run
// connects, does the work and disconnects, like one curl or lftp call.
//   ftp_bench get  PORT REMOTE_FILE LOCAL_FILE
//   ftp_bench put  PORT LOCAL_FILE REMOTE_FILE
//   ftp_bench list PORT REMOTE_DIR EXPECTED_COUNT
//   ftp_bench getmany PORT REMOTE_DIR LOCAL_DIR   (every file of the directory)
//   ftp_bench putmany PORT LOCAL_DIR REMOTE_DIR   (every file of the folder, flat)
// A leading "--connections N" asks for N transfer connections at once; the
// engine has one, so N > 1 exits with "not built" (code 3).
// With CORVANE_BENCH_CA set to a PEM file, servers are verified against it
// (the TLS group's self-signed certificate) instead of the system's store.
#include "bench/BenchReport.h"
#include "ftp/FtpClient.h"
#include "platform/LocalFiles.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kProgram = "ftp_bench";

bool connectTo(FtpClient& client, const std::string& port) {
    if (const char* ca = std::getenv("CORVANE_BENCH_CA"))
        client.setTrustedCertificates(ca);
    return client.connect("127.0.0.1", "anonymous", "", std::stoi(port));
}

int getMany(FtpClient& client, const std::string& remoteDir, const std::string& localDir) {
    std::vector<std::string> names;
    std::vector<int> attributes;
    client.listDirectory(remoteDir + "/*.*", -1, &names, &attributes);
    int failed = 0;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!(attributes[i] & 16) && !client.getFile(remoteDir + "/" + names[i], localDir + "/" + names[i]))
            ++failed;
    return names.empty() ? -1 : failed;
}

int putMany(FtpClient& client, const std::string& localDir, const std::string& remoteDir) {
    std::vector<platform::LocalEntry> entries = platform::listFolder(localDir + "/");
    int failed = 0;
    for (const platform::LocalEntry& e : entries)
        if (!(e.attributes & platform::kAttrDirectory) &&
            !client.putFile(localDir + "/" + e.name, remoteDir + "/" + e.name))
            ++failed;
    return entries.empty() ? -1 : failed;
}

} // namespace

int main(int argc, char** argv) {
    const int connections = bench::takeConnections(argc, argv);
    if (argc < 5 || connections < 1)
        return bench::fail(kProgram, "usage: ftp_bench [--connections N] get|put|list|getmany|putmany PORT A B");
    if (connections > 1)
        return bench::notBuilt(kProgram, "the engine transfers on one connection");
    const std::string mode = argv[1], port = argv[2], a = argv[3], b = argv[4];
    FtpClient client;
    auto start = bench::Clock::now();
    if (!connectTo(client, port))
        return bench::fail(kProgram, "connect failed");
    bool ok = false;
    if (mode == "get") {
        ok = client.getFile(a, b);
    } else if (mode == "put") {
        ok = client.putFile(a, b);
    } else if (mode == "list") {
        std::vector<std::string> names;
        std::vector<int64_t> sizes;
        int count = client.listDirectory(a + "/*.*", -1, &names, nullptr, &sizes);
        ok = count == std::stoi(b);
    } else if (mode == "getmany") {
        ok = getMany(client, a, b) == 0;
    } else if (mode == "putmany") {
        ok = putMany(client, a, b) == 0;
    }
    client.disconnect();
    double seconds = bench::secondsSince(start);
    if (!ok)
        return bench::fail(kProgram, mode + " failed");
    return bench::report(seconds);
}
