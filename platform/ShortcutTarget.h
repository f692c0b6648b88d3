#pragma once
#include <string>

// Where a shortcut points: the target of a symbolic link, or the local base
// path (plus suffix) stored in a Windows shell-link (.lnk) file. Empty when
// the file is neither or cannot be read.
std::string shortcutTarget(const std::string& path);

// The target path stored in shell-link bytes, empty when there is none.
std::string shellLinkTarget(const std::string& bytes);
