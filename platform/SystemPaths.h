#pragma once
#include <string>

namespace platform {

// Folder of the running executable, without a trailing separator.
std::string executableFolder();

// Makes executableFolder() return this folder instead (tests keep their
// settings and server book in a folder of their own). Empty undoes it.
void overrideExecutableFolder(const std::string& folder);
bool executableFolderOverridden();

// The process's current working directory.
std::string currentFolder();

} // namespace platform
