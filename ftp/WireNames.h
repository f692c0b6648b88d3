#pragma once
// File names between the program (UTF-8) and the server (UTF-8 or, on
// servers of Chinese Windows, GB18030/GBK). A name read from the server goes
// back in exactly the bytes it came in.
//
// Names are remembered per directory: one folder may hold the same name in
// UTF-8 and in GBK bytes, and each listing shows its names so that no two
// read the same (the second escaped), so a shown path always leads back to
// one entry's bytes.
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace ftp {

struct ListedName {
    std::string name;  // UTF-8, unique within its listing
    bool escaped = false;  // name shows the bytes escaped instead of decoded
};

class WireNames {
public:
    // Forget what was learned; utf8Announced when the server speaks UTF-8.
    void reset(bool utf8Announced);
    // Forget what was learned, for a protocol whose names are UTF-8 by
    // definition (SFTP): names in other bytes are shown escaped, never
    // decoded as GB18030, and new names always go as UTF-8.
    void resetUtf8Only();

    // The names of one listing of directory (a UTF-8 path as the caller
    // gave it; "" is the current directory), in the same order as wireNames.
    // Remembers the bytes of each name in that directory.
    std::vector<ListedName> namesOfListing(const std::string& directory,
                                           const std::vector<std::string>& wireNames);
    // A path as the server gave it (a 257 reply), component by component.
    std::string pathFromWire(const std::string& wirePath);
    // After a file was sent to path: a last component that is not UTF-8 is
    // shown escaped, and that shown name leads back to its bytes.
    void noteSent(const std::string& path, const std::string& wirePath);
    // A UTF-8 path (relative or absolute) to wire bytes: names listed in
    // their directory go back as they came, others in the connection's
    // encoding.
    std::string pathToWire(const std::string& path) const;
    // The same for a path below a folder (UTF-8 folder, its wire bytes, and
    // the relative path with "/" between names).
    std::string pathBelowToWire(const std::string& folder, const std::string& folderWire,
                                const std::string& relative) const;
    // The same for many paths below one folder; folderWire "" when its
    // bytes are not known (they then follow from folder).
    std::vector<std::string> pathsBelowToWire(const std::string& folder, const std::string& folderWire,
                                              const std::vector<std::string>& relatives) const;

    // True once a name that was not UTF-8 has been seen (and the server did
    // not announce UTF-8): new names are then sent in GB18030.
    bool usesGb18030() const { return gb18030_; }

private:
    std::string componentToWire(const std::string& directory, const std::string& name) const;
    void remember(const std::string& directory, const std::string& name, const std::string& wire);
    void makeRoom();

    bool utf8Announced_ = false;
    bool utf8Only_ = false;
    bool gb18030_ = false;
    // directory + '\n' + UTF-8 name -> wire bytes, for names whose bytes are
    // not simply their text.
    std::unordered_map<std::string, std::string> byDirectory_;
    // Directories whose listing is known: a name missing there is new.
    std::unordered_set<std::string> listed_;
    // The last bytes seen for a name anywhere, for paths into directories
    // never listed.
    std::unordered_map<std::string, std::string> anywhere_;
};

// The key under which a directory's names are kept: the path without
// trailing "/" (the root stays "/").
std::string directoryKey(const std::string& directory);

} // namespace ftp
