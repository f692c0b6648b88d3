// Replays the seed corpus and every saved fuzzer finding through the fuzz
// targets, so a fixed crash stays fixed. A target aborts on a failed check.
#include "fuzz/FuzzTargets.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Target = void (*)(const uint8_t*, std::size_t);

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                files.push_back(folder + "/" + entry->d_name);
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Runs every input of corpus/<name> and regressions/<name>; returns how many.
int replay(const std::string& name, Target target) {
    int count = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        for (const std::string& file : filesIn(std::string(CORVANE_FUZZ_DIR) + "/" + kind + "/" + name)) {
            SCOPED_TRACE(file);
            std::ifstream in(file, std::ios::binary);
            const std::string bytes(std::istreambuf_iterator<char>(in), {});
            target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++count;
        }
    }
    return count;
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
