#include "ftp/ReplyReader.h"

#include <cstring>

namespace ftp {

bool ReplyReader::feed(const char* data, std::size_t size) {
    if (broken_)
        return false;
    if (std::memchr(data, '\0', size)) {
        broken_ = true;
        return false;
    }
    const char* end = data + size;
    while (data < end) {
        const char* lf = static_cast<const char*>(std::memchr(data, '\n', static_cast<std::size_t>(end - data)));
        const char* stop = lf ? lf : end;
        partialLine_.append(data, stop);
        if (partialLine_.size() > kMaxReplyLineBytes) {
            broken_ = true;
            return false;
        }
        if (!lf)
            break;
        std::string line;
        line.swap(partialLine_);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!takeLine(std::move(line))) {
            broken_ = true;
            return false;
        }
        data = lf + 1;
    }
    return true;
}

bool ReplyReader::takeLine(std::string line) {
    bool continued = false;
    int code = parseReplyCode(line, continued);
    if (!inReply_) {
        if (code == 0)
            return false;
        building_ = FtpReply{code, {}};
        building_.lines.push_back(std::move(line));
        inReply_ = continued;
    } else {
        if (building_.lines.size() >= kMaxReplyLines)
            return false;
        // A multi-line reply ends at the line with the same code and a space.
        bool last = code == building_.code && !continued;
        building_.lines.push_back(std::move(line));
        inReply_ = !last;
    }
    if (!inReply_)
        ready_.push_back(std::move(building_));
    return true;
}

bool ReplyReader::next(FtpReply& reply) {
    if (ready_.empty())
        return false;
    reply = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void ReplyReader::reset() {
    partialLine_.clear();
    building_ = FtpReply{};
    inReply_ = false;
    broken_ = false;
    ready_.clear();
}

} // namespace ftp
