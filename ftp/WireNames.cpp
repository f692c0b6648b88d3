#include "ftp/WireNames.h"

#include "platform/TextCodec.h"

namespace ftp {

namespace {
// Names seen per connection; beyond this the oldest knowledge is dropped.
constexpr std::size_t kMaxRememberedNames = 200000;

bool isAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}
} // namespace

void WireNames::reset(bool utf8Announced) {
    utf8Announced_ = utf8Announced;
    gb18030_ = false;
    seen_.clear();
}

std::string WireNames::fromWire(const std::string& wireName) {
    if (isAscii(wireName))
        return wireName;
    std::string name;
    if (platform::isValidUtf8(wireName)) {
        name = wireName;
    } else {
        name = platform::gb18030ToUtf8(wireName);
        if (!utf8Announced_)
            gb18030_ = true;
    }
    if (seen_.size() >= kMaxRememberedNames)
        seen_.clear();
    seen_[name] = wireName;
    return name;
}

std::string WireNames::pathFromWire(const std::string& wirePath) {
    std::string path;
    std::size_t pos = 0;
    for (;;) {
        std::size_t slash = wirePath.find('/', pos);
        std::string component = wirePath.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        path += component.empty() ? component : fromWire(component);
        if (slash == std::string::npos)
            break;
        path += '/';
        pos = slash + 1;
    }
    return path;
}

std::string WireNames::componentToWire(const std::string& name) const {
    if (name.empty() || isAscii(name))
        return name;
    auto found = seen_.find(name);
    if (found != seen_.end())
        return found->second;
    return gb18030_ ? platform::utf8ToGb18030(name) : name;
}

std::string WireNames::pathToWire(const std::string& path) const {
    std::string wire;
    std::size_t pos = 0;
    for (;;) {
        std::size_t slash = path.find('/', pos);
        wire += componentToWire(path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos));
        if (slash == std::string::npos)
            break;
        wire += '/';
        pos = slash + 1;
    }
    return wire;
}

} // namespace ftp
