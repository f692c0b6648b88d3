#pragma once
// Turns the bytes of the control connection into reply lines and the lines
// into replies. The only place that frames server text.
#include <cstddef>
#include <deque>
#include <string>

#include "ftp/FtpReply.h"

namespace ftp {

// Longest reply line accepted; a longer one is a protocol error.
constexpr std::size_t kMaxReplyLineBytes = 8192;
// Most lines one reply may have (FEAT and HELP lists run to a few hundred).
constexpr std::size_t kMaxReplyLines = 20000;

class ReplyReader {
public:
    // Adds received bytes. False (and broken() from then on) when they break
    // the protocol: a NUL byte, an over-long line, a line that is no reply.
    bool feed(const char* data, std::size_t size);
    // Takes the next complete reply; false when none is complete yet.
    bool next(FtpReply& reply);
    bool hasReply() const { return !ready_.empty(); }
    // Nothing received is waiting to be taken, not even part of a line.
    bool idle() const { return ready_.empty() && partialLine_.empty() && !inReply_; }
    bool broken() const { return broken_; }
    void reset();

private:
    bool takeLine(std::string line);

    std::string partialLine_;
    FtpReply building_;
    bool inReply_ = false;
    bool broken_ = false;
    std::deque<FtpReply> ready_;
};

} // namespace ftp
