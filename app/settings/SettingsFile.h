#pragma once
// The settings file: an INI file in GB18030 (GBK as written on Chinese
// Windows), read and written one value at a time with the rules of the
// Windows profile-string functions. Text in and out is UTF-8.
//
// Reading: section and key names match without regard to case; blanks around
// names and values are ignored; a value wrapped in matching quotes ("..." or
// '...') loses them; lines starting with ';' are comments; the first matching
// section and the first matching key in it win. A value comes back cut to
// its first 10239 bytes on disk, never in the middle of a character.
//
// Writing: an existing key keeps its line and only the value after "=" is
// replaced; a new key goes after the last key line of its section; a new
// section goes at the end of the file. All other bytes stay as they were.
// Added lines use the line end of the file's first line (CRLF for a new
// file or one without line ends, LF for an LF-only file). The whole file is
// replaced atomically; a new file is readable by its owner only (the
// connection setting holds a password), an existing one keeps its mode.
// A file that is a symbolic link is written through: the link stays and
// the file it leads to changes; a link that leads nowhere is not written.
#include <cstddef>
#include <string>

namespace settings {

// Longest value read back, in bytes on disk (a 10240-byte buffer with its
// terminating zero).
constexpr std::size_t kMaxValueBytes = 10239;

// Value of key in section of the file at path; defaultValue when the file,
// the section or the key is missing. An empty path, section or key gives ""
// whatever the default.
std::string readValue(const std::string& path, const std::string& section,
                      const std::string& key, const std::string& defaultValue);

// Stores key=value in section, creating the file and the section as needed.
// Returns false, leaving the file untouched, when the path, section or key is
// empty, when a name or the value cannot be stored on one line, or when the
// file cannot be read or written. Never throws.
bool writeValue(const std::string& path, const std::string& section,
                const std::string& key, const std::string& value);

} // namespace settings
