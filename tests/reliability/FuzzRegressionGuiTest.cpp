// Replays the saved inputs of the icon reader, which needs Qt, and reads
// an icon from a file that changes under it.
#include "fuzz/FuzzTargets.h"
#include "platform/desktop/DesktopIcons.h"
#include "platform/desktop/ExecutableIcon.h"
#include "tests/reliability/FuzzReplay.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>

using namespace testsupport;

TEST(FuzzRegressions, ExecutableIcon) {
    const std::string root = CORVANE_FUZZ_DIR;
    EXPECT_GT(replayFuzzInputs(root + "/corpus/executable_icon", fuzz::executableIconInput), 0);
    replayFuzzInputs(root + "/regressions/executable_icon", fuzz::executableIconInput);
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
