// Rounds of upload, list, download and delete of a file tree through the
// real FtpClient against a local vsftpd (passive mode). Memory and open file
// descriptors are taken after each round; neither may grow from round to
// round. Prints one line per figure: "<name> <value> <unit>".
//   soak_bench [rounds (default 20)] [files (default 2000)]
// Needs root (vsftpd).
#include "ftp/FtpClient.h"
#include "tests/support/FtpServers.h"
#include "tests/support/TempFolder.h"

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kFilesPerFolder = 100;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A field of /proc/self/status in KiB ("VmHWM:" peak, "VmRSS:" current).
long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = field;
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    return -1;
}

int openDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(dir))
            count += e->d_name[0] != '.';
        ::closedir(dir);
        --count;  // the one opendir holds
    }
    return count;
}

void figure(const std::string& name, double value, const char* unit) {
    std::printf(value == static_cast<long>(value) ? "%s %.0f %s\n" : "%s %.2f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

int fail(const std::string& what) {
    std::fprintf(stderr, "soak_bench: %s\n", what.c_str());
    return 1;
}

struct Tree {
    std::vector<std::string> folders;  // relative, "d00" ...
    std::vector<std::string> files;    // relative, "d00/f0000.txt" ...
};

Tree makeTree(const testsupport::TempFolder& local, int fileCount) {
    Tree tree;
    for (int i = 0; i < fileCount; ++i) {
        if (i % kFilesPerFolder == 0) {
            char folder[16];
            std::snprintf(folder, sizeof folder, "d%02d", i / kFilesPerFolder);
            tree.folders.push_back(folder);
            local.makeFolder(std::string("up/") + folder);
        }
        char name[32];
        std::snprintf(name, sizeof name, "/f%04d.txt", i);
        const std::string relative = tree.folders.back() + name;
        tree.files.push_back(relative);
        // Sizes vary so that a short transfer would show.
        local.write("up/" + relative, std::string(100 + (i * 37) % 4000, char('a' + i % 26)));
    }
    return tree;
}

// One round; an empty result means it went through.
std::string runRound(FtpClient& ftp, const testsupport::TempFolder& local, const Tree& tree) {
    const std::string remote = std::string("/") + testsupport::kVsftpdWritableFolder + "/soak/";
    if (!ftp.makeDirectory(remote))
        return "cannot make " + remote;
    for (const std::string& folder : tree.folders)
        if (!ftp.makeDirectory(remote + folder))
            return "cannot make " + remote + folder;
    for (const std::string& file : tree.files)
        if (!ftp.putFile(local.file("up/" + file), remote + file))
            return "upload failed: " + file;
    std::vector<std::string> names;
    std::vector<int64_t> sizes;
    std::size_t listed = 0;
    for (const std::string& folder : tree.folders)
        listed += ftp.listDirectory(remote + folder + "/*", -1, &names, nullptr, &sizes);
    if (listed != tree.files.size())
        return "listing shows " + std::to_string(listed) + " files";
    local.makeFolder("down");
    for (const std::string& folder : tree.folders)
        local.makeFolder("down/" + folder);
    for (const std::string& file : tree.files) {
        if (!ftp.getFile(remote + file, local.file("down/" + file)))
            return "download failed: " + file;
        const std::string down = local.read("down/" + file), up = local.read("up/" + file);
        if (down != up)
            return "downloaded copy differs: " + file + " (" + std::to_string(down.size()) + " bytes, sent " +
                   std::to_string(up.size()) + ")";
    }
    for (const std::string& file : tree.files) {
        if (!ftp.deleteFile(remote + file))
            return "delete failed: " + file;
        std::remove(local.file("down/" + file).c_str());
    }
    for (const std::string& folder : tree.folders)
        if (!ftp.removeDirectory(remote + folder))
            return "cannot remove " + remote + folder;
    if (!ftp.removeDirectory(remote))
        return "cannot remove " + remote;
    return {};
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int fileCount = argc > 2 ? std::atoi(argv[2]) : 2000;
    if (rounds < 2 || fileCount < 1)
        return fail("usage: soak_bench [rounds >= 2] [files >= 1]");
    testsupport::VsftpdServer server;
    if (!server.available())
        return fail("vsftpd is not installed or we are not root");
    testsupport::TempFolder root, local;
    const Tree tree = makeTree(local, fileCount);
    if (!server.start(root.path()))
        return fail("vsftpd did not start: " + server.errors());
    FtpClient ftp;
    // Passive mode: in active mode each transfer listens on a fresh port,
    // and 4,000 transfers a round on one host leave the loopback port range
    // full of TIME_WAIT sockets, so uploads fail after a few rounds.
    if (!ftp.connect("127.0.0.1", "anonymous", "soak@", server.port(), true))
        return fail("cannot connect");
    long firstPeak = 0, firstFds = 0, lastPeak = 0, lastFds = 0;
    for (int round = 1; round <= rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const std::string problem = runRound(ftp, local, tree);
        if (!problem.empty())
            return fail("round " + std::to_string(round) + ": " + problem);
        const std::string prefix = "round_" + std::to_string(round) + "_";
        const long peak = statusKiB("VmHWM:");
        const int fds = openDescriptors();
        figure(prefix + "seconds", secondsSince(start), "s");
        figure(prefix + "peak_rss", double(peak), "KiB");
        figure(prefix + "rss", double(statusKiB("VmRSS:")), "KiB");
        figure(prefix + "open_fds", fds, "fds");
        if (round == 1) {
            firstPeak = peak;
            firstFds = fds;
        }
        lastPeak = peak;
        lastFds = fds;
    }
    ftp.disconnect();
    figure("peak_rss_first_round", double(firstPeak), "KiB");
    figure("peak_rss_last_round", double(lastPeak), "KiB");
    figure("open_fds_first_round", double(firstFds), "fds");
    figure("open_fds_last_round", double(lastFds), "fds");
    // Growth after the first round (which loads everything once) is a leak;
    // a little slack for allocator noise.
    const bool memoryFlat = lastPeak <= firstPeak + 1024;
    const bool fdsFlat = lastFds <= firstFds;
    figure("memory_flat", memoryFlat, "bool");
    figure("fds_flat", fdsFlat, "bool");
    return memoryFlat && fdsFlat ? 0 : 1;
}
