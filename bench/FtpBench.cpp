// Drives the real FtpClient against a local vsftpd (active mode) and prints
// one line per figure: "<name> <value> <unit>".
//   ftp_bench [big-file-MiB (default 1024)]
// Needs root (vsftpd) and about three times the big file's size free in the
// temporary folder.
#include "ftp/FtpClient.h"
#include "tests/support/FtpServers.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int kListingEntries = 10000;
constexpr int kSmallFiles = 2000;
constexpr int kSmallFileBytes = 1024;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory of this process in KiB.
long peakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void figure(const char* name, double value, const char* unit) {
    std::printf("%s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

int fail(const char* what) {
    std::fprintf(stderr, "ftp_bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    int64_t bigMiB = argc > 1 ? std::atoll(argv[1]) : 1024;
    int64_t bigBytes = bigMiB * 1024 * 1024;
    testsupport::VsftpdServer server;
    if (!server.available())
        return fail("vsftpd is not installed or we are not root");
    testsupport::TempFolder root, local;
    root.makeFolder("pub/many");
    root.makeFolder("pub/small");
    if (!testsupport::writePatternFile(root.file("pub/big.bin"), bigBytes))
        return fail("cannot write the big file");
    for (int i = 0; i < kListingEntries; ++i)
        testsupport::writeFileBytes(root.file("pub/many/entry-" + std::to_string(i) + ".dat"), "");
    for (int i = 0; i < kSmallFiles; ++i)
        testsupport::writeFileBytes(root.file("pub/small/s" + std::to_string(i)), std::string(kSmallFileBytes, 's'));
    if (!server.start(root.path()))
        return fail(("vsftpd did not start: " + server.errors()).c_str());

    FtpClient client;
    if (!client.connect("127.0.0.1", "anonymous", "", server.port()))
        return fail("connect failed");
    long rssBefore = peakRssKiB();

    auto start = std::chrono::steady_clock::now();
    if (!client.getFile("/pub/big.bin", local.file("big.bin")))
        return fail("download failed");
    double seconds = secondsSince(start);
    figure("download_big_file_MiB_per_s", bigMiB / seconds, "MiB/s");

    start = std::chrono::steady_clock::now();
    if (!client.putFile(local.file("big.bin"), "/pub/big-up.bin"))
        return fail("upload failed");
    seconds = secondsSince(start);
    figure("upload_big_file_MiB_per_s", bigMiB / seconds, "MiB/s");
    figure("peak_memory_growth_during_transfers", (peakRssKiB() - rssBefore) / 1024.0, "MiB");

    start = std::chrono::steady_clock::now();
    std::vector<std::string> names;
    std::vector<int64_t> sizes;
    int listed = client.listDirectory("/pub/many/*.*", -1, &names, nullptr, &sizes);
    seconds = secondsSince(start);
    if (listed != kListingEntries)
        return fail("listing returned the wrong count");
    figure("list_10000_entries_ms", seconds * 1000, "ms");

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSmallFiles; ++i)
        if (!client.getFile("/pub/small/s" + std::to_string(i), local.file("s" + std::to_string(i))))
            return fail("small download failed");
    seconds = secondsSince(start);
    figure("download_2000_small_files_per_s", kSmallFiles / seconds, "files/s");

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSmallFiles; ++i)
        if (!client.putFile(local.file("s" + std::to_string(i)), "/pub/small/u" + std::to_string(i)))
            return fail("small upload failed");
    seconds = secondsSince(start);
    figure("upload_2000_small_files_per_s", kSmallFiles / seconds, "files/s");
    client.disconnect();
    return 0;
}
