#pragma once
#include <string>

namespace platform {

// Folder of the running executable, without a trailing separator.
std::string executableFolder();

// The system's temporary folder, without a trailing separator.
std::string temporaryFolder();

// The process's current working directory.
std::string currentFolder();

} // namespace platform
