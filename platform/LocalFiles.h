#pragma once
// The local file system as the handlers see it: attribute bits in the shape
// the program's rules expect, directory enumeration in the order the file
// system returns entries, 64-bit sizes, and deletes.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Attribute bits: a directory has 16, a regular file 32 (archive); an entry
// that is not writable adds 1; a name starting with "." adds 2.
constexpr int kAttrReadOnly = 1;
constexpr int kAttrHidden = 2;
constexpr int kAttrDirectory = 16;
constexpr int kAttrArchive = 32;

// Attribute bits of the path (symlinks followed), or -1 when it does not exist.
int fileAttributes(const std::string& path);

bool isSymlink(const std::string& path);
bool pathExists(const std::string& path);

// Size in bytes, or -1 when the entry cannot be found.
int64_t fileSize(const std::string& path);

struct LocalEntry {
    std::string name;
    int attributes = 0;
    int64_t size = 0;
};

// Entries of the folder in the order the file system returns them, without
// "." and "..". An unreadable or missing folder gives an empty list.
std::vector<LocalEntry> listFolder(const std::string& folder);
// The same, except that a folder path whose last part is a link gives an
// empty list: a walk that must stay inside a tree never enters a link.
std::vector<LocalEntry> listFolderUnlessLink(const std::string& folder);

// What tells one folder from another even when it shows under two paths
// (a bind mount): its device and inode.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
};
// The identity of what the path names (links followed); false when it
// cannot be found.
bool fileIdentity(const std::string& path, FileIdentity& identity);

bool removeFile(const std::string& path);
bool removeEmptyFolder(const std::string& path);

// The separator of local paths on this platform.
constexpr char kPathSeparator = '/';

} // namespace platform
