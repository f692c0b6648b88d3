#include "bench/relay/LineStream.h"

namespace relay {

namespace {

// A "line" longer than this is no FTP line; it is passed on as it is.
constexpr std::size_t kLongestLine = 64 * 1024;

} // namespace

std::string LineStream::feed(const char* data, std::size_t size, const LineHandler& handler) {
    if (raw_)
        return takeRest() + std::string(data, size);
    pending_.append(data, size);
    std::string out;
    std::size_t start = 0;
    for (;;) {
        std::size_t newline = pending_.find('\n', start);
        if (newline == std::string::npos)
            break;
        std::size_t end = newline > start && pending_[newline - 1] == '\r' ? newline - 1 : newline;
        out += handler(pending_.substr(start, end - start));
        start = newline + 1;
        if (raw_) {  // the handler saw AUTH: the rest is not lines
            out.append(pending_, start, std::string::npos);
            pending_.clear();
            return out;
        }
    }
    pending_.erase(0, start);
    if (pending_.size() > kLongestLine)
        out += takeRest();
    return out;
}

std::string LineStream::takeRest() {
    std::string rest;
    rest.swap(pending_);
    return rest;
}

} // namespace relay
