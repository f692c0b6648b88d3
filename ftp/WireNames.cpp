#include "ftp/WireNames.h"

#include "platform/TextCodec.h"

#include <unordered_set>

namespace ftp {

namespace {
// Names remembered per connection; beyond this the knowledge is dropped.
constexpr std::size_t kMaxRememberedNames = 200000;

bool isAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// A decoded name must still be one plain path component.
bool isUsableName(const std::string& name) {
    if (name.empty())
        return false;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7f)
            return false;
    }
    return true;
}

std::string key(const std::string& directory, const std::string& name) {
    return directoryKey(directory) + '\n' + name;
}

// The text of bytes that are not UTF-8: GB18030 when they decode whole to
// a name nobody else in the listing has (and decoding is allowed), else the
// bytes escaped (with a number when even that text is taken).
ListedName nameForBytes(const std::string& wire, bool decode, std::unordered_set<std::string>& taken) {
    std::string decoded;
    if (decode && platform::decodeGb18030Exactly(wire, decoded) && isUsableName(decoded) &&
        taken.insert(decoded).second)
        return {decoded, false};
    const std::string escaped = platform::escapeInvalidUtf8(wire);
    std::string candidate = escaped;
    for (int n = 2; !taken.insert(candidate).second; ++n)
        candidate = escaped + " (" + std::to_string(n) + ")";
    return {candidate, true};
}

} // namespace

std::string directoryKey(const std::string& directory) {
    std::string key = directory;
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

void WireNames::reset(bool utf8Announced) {
    utf8Announced_ = utf8Announced;
    utf8Only_ = false;
    gb18030_ = false;
    byDirectory_.clear();
    listed_.clear();
    anywhere_.clear();
}

void WireNames::resetUtf8Only() {
    reset(true);
    utf8Only_ = true;
}

void WireNames::makeRoom() {
    if (byDirectory_.size() < kMaxRememberedNames && anywhere_.size() < kMaxRememberedNames)
        return;
    byDirectory_.clear();
    listed_.clear();
    anywhere_.clear();
}

void WireNames::remember(const std::string& directory, const std::string& name, const std::string& wire) {
    if (name == wire && isAscii(name))
        return;  // goes back as it is anyway
    byDirectory_[key(directory, name)] = wire;
    anywhere_[name] = wire;
}

std::vector<ListedName> WireNames::namesOfListing(const std::string& directory,
                                                  const std::vector<std::string>& wireNames) {
    makeRoom();
    listed_.insert(directoryKey(directory));
    std::vector<ListedName> names(wireNames.size());
    std::vector<std::size_t> others;  // names that are not UTF-8
    for (std::size_t i = 0; i < wireNames.size(); ++i) {
        if (platform::isValidUtf8(wireNames[i]))
            names[i].name = wireNames[i];
        else
            others.push_back(i);
    }
    if (!others.empty()) {
        if (!utf8Announced_)
            gb18030_ = true;
        // UTF-8 names are their own text; a name in another encoding never
        // takes the text of one that is exact.
        std::unordered_set<std::string> taken;
        for (const ListedName& listed : names)
            if (!listed.name.empty())
                taken.insert(listed.name);
        for (std::size_t i : others)
            names[i] = nameForBytes(wireNames[i], !utf8Only_, taken);
    }
    for (std::size_t i = 0; i < wireNames.size(); ++i)
        remember(directory, names[i].name, wireNames[i]);
    return names;
}

std::string WireNames::pathFromWire(const std::string& wirePath) {
    std::string path;
    std::string parent;
    std::size_t pos = 0;
    for (;;) {
        std::size_t slash = wirePath.find('/', pos);
        std::string component = wirePath.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (!component.empty()) {
            std::string name = component;
            if (!platform::isValidUtf8(component)) {
                if (!utf8Announced_)
                    gb18030_ = true;
                if (utf8Only_ || !platform::decodeGb18030Exactly(component, name) || !isUsableName(name))
                    name = platform::escapeInvalidUtf8(component);
            }
            remember(parent, name, component);
            path += name;
        }
        if (slash == std::string::npos)
            break;
        path += '/';
        parent = path;
        pos = slash + 1;
    }
    return path;
}

void WireNames::noteSent(const std::string& path, const std::string& wirePath) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || platform::isValidUtf8(name))
        return;
    const std::size_t wireSlash = wirePath.rfind('/');
    makeRoom();
    remember(slash == std::string::npos ? std::string() : path.substr(0, slash + 1),
             platform::escapeInvalidUtf8(name),
             wireSlash == std::string::npos ? wirePath : wirePath.substr(wireSlash + 1));
}

std::string WireNames::componentToWire(const std::string& directory, const std::string& name) const {
    if (name.empty())
        return name;
    if (!byDirectory_.empty()) {
        auto found = byDirectory_.find(key(directory, name));
        if (found != byDirectory_.end())
            return found->second;
        // A directory never listed: the bytes last seen for the name, if any.
        if (listed_.count(directoryKey(directory)) == 0) {
            auto seen = anywhere_.find(name);
            if (seen != anywhere_.end())
                return seen->second;
        }
    }
    // Bytes that are not UTF-8 (a local name of another encoding) are sent
    // as they are: re-encoding would turn them into "?".
    if (isAscii(name) || !platform::isValidUtf8(name))
        return name;
    return gb18030_ ? platform::utf8ToGb18030(name) : name;
}

std::string WireNames::pathToWire(const std::string& path) const {
    std::string wire;
    std::size_t pos = 0;
    for (;;) {
        std::size_t slash = path.find('/', pos);
        std::string component = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        // The parent is the path as written up to here ("/" for the root).
        std::string parent = pos == 0 ? std::string() : path.substr(0, pos);
        wire += componentToWire(parent, component);
        if (slash == std::string::npos)
            break;
        wire += '/';
        pos = slash + 1;
    }
    return wire;
}

std::vector<std::string> WireNames::pathsBelowToWire(const std::string& folder, const std::string& folderWire,
                                                     const std::vector<std::string>& relatives) const {
    const std::string knownFolderWire = folderWire.empty() ? pathToWire(folder) : folderWire;
    std::vector<std::string> wires;
    wires.reserve(relatives.size());
    for (const std::string& relative : relatives)
        wires.push_back(pathBelowToWire(folder, knownFolderWire, relative));
    return wires;
}

std::string WireNames::pathBelowToWire(const std::string& folder, const std::string& folderWire,
                                       const std::string& relative) const {
    std::string wire = folderWire;
    std::string parent = folder;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', pos);
        const std::string component =
            relative.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (!wire.empty() && wire.back() != '/')
            wire += '/';
        wire += componentToWire(parent, component);
        if (slash == std::string::npos)
            break;
        if (!parent.empty() && parent.back() != '/')
            parent += '/';
        parent += component;
        pos = slash + 1;
    }
    return wire;
}

} // namespace ftp
