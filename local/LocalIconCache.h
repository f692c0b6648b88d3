#pragma once
#include "ftp/EntryKind.h"

#include <string>

// The icon a local file gets beyond the fixed ones: the desktop's icon for
// its type, or for executables, libraries and icon files their own first
// icon. Each distinct picture is added to the upload list's icons once, and
// the desktop icon is looked up once per extension, so a folder of many
// files adds few icons. Returns the index, or -1 when there is no picture.
int localFileIcon(const std::string& path, const std::string& extension);

// The icon of a local file or folder: the name rules, with the file's own
// picture where they give no fixed icon.
int localIconIndexFor(const std::string& path, EntryKind known = kKindUnknown);
