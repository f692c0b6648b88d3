#pragma once
// File names between the program (UTF-8) and the server (UTF-8 or, on
// servers of Chinese Windows, GB18030/GBK). A name read from the server goes
// back in exactly the bytes it came in.
#include <map>
#include <string>

namespace ftp {

class WireNames {
public:
    // Forget what was learned; utf8Announced when the server speaks UTF-8.
    void reset(bool utf8Announced);

    // Wire bytes of a listing name to UTF-8; remembers the bytes.
    std::string fromWire(const std::string& wireName);
    // A path as the server gave it (a 257 reply), component by component.
    std::string pathFromWire(const std::string& wirePath);
    // A UTF-8 path (relative or absolute) to wire bytes: components seen in
    // listings go back as they came, others in the connection's encoding.
    std::string pathToWire(const std::string& path) const;

    // True once a name that was not UTF-8 has been seen (and the server did
    // not announce UTF-8): new names are then sent in GB18030.
    bool usesGb18030() const { return gb18030_; }

private:
    std::string componentToWire(const std::string& name) const;

    bool utf8Announced_ = false;
    bool gb18030_ = false;
    std::map<std::string, std::string> seen_;  // UTF-8 name -> wire bytes
};

} // namespace ftp
