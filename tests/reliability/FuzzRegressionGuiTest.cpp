// Replays the saved inputs of the two readers that live in the UI library.
#include "fuzz/FuzzTargets.h"
#include "ftp/ExecutableIcon.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

using namespace testsupport;

namespace {

int replayFolder(const std::string& folder, void (*target)(const uint8_t*, std::size_t)) {
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                files.push_back(folder + "/" + entry->d_name);
        ::closedir(dir);
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string bytes = readFileBytes(file);
        target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    return static_cast<int>(files.size());
}

} // namespace

TEST(FuzzRegressions, ShellLink) {
    const std::string root = CORVANE_FUZZ_DIR;
    EXPECT_GT(replayFolder(root + "/corpus/shell_link", fuzz::shellLinkInput), 0);
    replayFolder(root + "/regressions/shell_link", fuzz::shellLinkInput);
}

TEST(FuzzRegressions, ExecutableIcon) {
    const std::string root = CORVANE_FUZZ_DIR;
    EXPECT_GT(replayFolder(root + "/corpus/executable_icon", fuzz::executableIconInput), 0);
    replayFolder(root + "/regressions/executable_icon", fuzz::executableIconInput);
}

// An executable that is cut short and grown again while its icon is read
// (a download replacing it, say) must not bring the program down: mapped
// pages past the new end raised SIGBUS.
TEST(ExecutableIconFaults, FileTruncatedWhileReadIsSafe) {
    TempFolder folder;
    const std::string path = folder.file("setup.exe");
    const std::string big(8 * 1024 * 1024, 'M');
    writeFileBytes(path, big);
    std::atomic<bool> done{false};
    std::thread cutter([&] {
        while (!done) {
            ::truncate(path.c_str(), 0);
            ::truncate(path.c_str(), static_cast<off_t>(big.size()));
        }
    });
    for (int i = 0; i < 300; ++i)
        EXPECT_TRUE(firstEmbeddedIcon(path).isNull());
    done = true;
    cutter.join();
}
