#pragma once
// Deciding from a name whether an entry is a directory, and which icon of the
// shared icon list it gets. A known kind always wins; without one, an entry
// on the local disk decides by its real type and only an unknown name falls
// back to the name rule.
#include "ftp/EntryKind.h"

#include <string>

// The fixed icons of both file lists.
constexpr int kIconFolder = 0;
constexpr int kIconPicture = 1;
constexpr int kIconExe = 4;
constexpr int kIconOtherFile = 5;
constexpr int kFixedIconCount = 12;

// Without a known kind and without remote: the local entry of that name (a
// relative name is resolved against the working folder) decides by its type.
// Otherwise the name rule: no "." or more than 4 bytes after the last "."
// means a directory.
bool isDirectoryName(const std::string& name, bool remote = false, EntryKind known = kKindUnknown);

// The icon index for a name (remote) or a full local path (local). In local
// mode files whose extension has no fixed icon get their own picture added
// to the upload list's icons (once per picture).
int iconIndexFor(const std::string& nameOrPath, bool remote = false, EntryKind known = kKindUnknown);

// The name rule alone: no "." or a suffix longer than 4 bytes.
bool looksLikeDirectoryName(const std::string& name);

// The fixed icon of an extension from the table (case ignored), -1 if none.
int tableIconFor(const std::string& extension);
