// Replays the seed corpus and every saved fuzzer finding through the fuzz
// targets, so a fixed crash stays fixed. A target aborts on a failed check.
#include "fuzz/FuzzTargets.h"
#include "tests/reliability/FuzzReplay.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs every input of corpus/<name> and regressions/<name>; returns how many.
int replay(const std::string& name, testsupport::FuzzTarget target) {
    const std::string root = CORVANE_FUZZ_DIR;
    return testsupport::replayFuzzInputs(root + "/corpus/" + name, target) +
           testsupport::replayFuzzInputs(root + "/regressions/" + name, target);
}

} // namespace

TEST(FuzzRegressions, ReplyReader) {
    EXPECT_GT(replay("reply", fuzz::replyReaderInput), 0);
}

TEST(FuzzRegressions, Listing) {
    EXPECT_GT(replay("listing", fuzz::listingInput), 0);
}

TEST(FuzzRegressions, RecordDatabase) {
    EXPECT_GT(replay("record_database", fuzz::recordDatabaseInput), 0);
}

TEST(FuzzRegressions, Settings) {
    EXPECT_GT(replay("settings", fuzz::settingsInput), 0);
}

TEST(FuzzRegressions, ShellLink) {
    EXPECT_GT(replay("shell_link", fuzz::shellLinkInput), 0);
}
