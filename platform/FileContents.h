#pragma once
// Small files read whole and replaced whole: a replacement is written
// beside the file and renamed over it, so a crash leaves either the old or
// the new contents, never a truncated file.
#include <string>
#include <string_view>

#include <sys/types.h>

namespace platform {

enum class ReadResult { Ok, Missing, Failed };

ReadResult readWholeFile(const std::string& path, std::string& bytes);

// Replaces the file's contents (creating it) with the given mode.
bool replaceFileContents(const std::string& path, std::string_view bytes, mode_t mode);

} // namespace platform
