#pragma once
// Feeding saved fuzzer inputs back through the fuzz targets.
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using FuzzTarget = void (*)(const uint8_t*, std::size_t);

// Runs every file of the folder (none when it is missing) through the
// target, in name order; returns how many there were.
inline int replayFuzzInputs(const std::string& folder, FuzzTarget target) {
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                files.push_back(folder + "/" + entry->d_name);
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string bytes = readFileBytes(file);
        target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    return static_cast<int>(files.size());
}

} // namespace testsupport
