#pragma once
// Deciding from a name whether an entry is a directory, and which icon of the
// shared icon list it gets. A known kind always wins; without one, an entry
// on the local disk decides by its real type and only an unknown name falls
// back to the name rule.
#include "ftp/EntryKind.h"

#include <functional>
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

// Gives a local file whose extension has no fixed icon a picture of its
// own: returns the picture's index in the icon list, or -1 when there is
// none.
using OwnPictureIcon = std::function<int(const std::string& path, const std::string& extension)>;

// The icon index for a name (remote) or a full local path (local). In local
// mode a file without a fixed icon asks ownPicture first, when one is given.
int iconIndexFor(const std::string& nameOrPath, bool remote = false, EntryKind known = kKindUnknown,
                 const OwnPictureIcon& ownPicture = nullptr);

// The name rule alone: no "." or a suffix longer than 4 bytes.
bool looksLikeDirectoryName(const std::string& name);

// The fixed icon of an extension from the table (case ignored), -1 if none.
int tableIconFor(const std::string& extension);
