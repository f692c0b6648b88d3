#pragma once
// Path rules of database files: the default extension, the side file's
// name and the full path used to recognise a file that is already open.
#include <string>

namespace serverbook {

// Adds "EDB" when the name after the last separator has no '.'; a name
// ending in '.' gets "EDB" after the dot.
std::string withDatabaseExtension(const std::string& path);

// The same path with the extension replaced by "EDT".
std::string sideFilePath(const std::string& databasePath);

// Absolute, normalised form of the path.
std::string fullPathOf(const std::string& path);

} // namespace serverbook
