#pragma once
#include "ftp/EntryKind.h"

#include <string>

// The icon of a local file or folder: the name rules, and where they give
// no fixed icon, the file's own picture: the desktop's icon for its type,
// or for executables, libraries and icon files their own first icon. Each
// distinct picture is added to the upload list's icons once, and the
// desktop icon is looked up once per extension, so a folder of many files
// adds few icons.
int localIconIndexFor(const std::string& path, EntryKind known = kKindUnknown);
