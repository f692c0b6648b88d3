#pragma once
// Cuts one direction of a control connection into lines, so each command
// or reply can be looked at (and rewritten) whole. A line split over two
// reads waits for its end. Once raw, bytes pass as they come: after AUTH
// the stream is TLS and has no lines to read.
#include <cstddef>
#include <functional>
#include <string>

namespace relay {

class LineStream {
public:
    // handler gets each complete line without its line end and returns the
    // bytes to pass on for it (line end included).
    using LineHandler = std::function<std::string(const std::string&)>;

    std::string feed(const char* data, std::size_t size, const LineHandler& handler);
    // What is left of an unfinished line (at the end of the stream).
    std::string takeRest();
    void setRaw() { raw_ = true; }
    bool raw() const { return raw_; }

private:
    std::string pending_;
    bool raw_ = false;
};

} // namespace relay
