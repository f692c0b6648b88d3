#pragma once
// The fuzz targets as plain functions: the libFuzzer entry points call them,
// and the regression test replays saved inputs through them. Each aborts
// when a property of its reader does not hold.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

void replyReaderInput(const uint8_t* data, std::size_t size);
void listingInput(const uint8_t* data, std::size_t size);
void recordDatabaseInput(const uint8_t* data, std::size_t size);
void settingsInput(const uint8_t* data, std::size_t size);
void shellLinkInput(const uint8_t* data, std::size_t size);
void executableIconInput(const uint8_t* data, std::size_t size);

// A file of this process for readers that take a path; name tells files
// of one target apart. In /dev/shm when it exists: no disk writes.
std::string scratchPath(const std::string& name);
bool writeScratch(const std::string& path, const char* data, std::size_t size);

} // namespace fuzz

// Unlike assert, stays on in release builds.
#define FUZZ_CHECK(condition)                                                      \
    do {                                                                           \
        if (!(condition))                                                          \
            ::fuzz::checkFailed(#condition, __FILE__, __LINE__);                   \
    } while (0)

namespace fuzz {
[[noreturn]] void checkFailed(const char* condition, const char* file, int line);
}
