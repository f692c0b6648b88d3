#include "bench/relay/DelayPipe.h"

#include <utility>

namespace relay {

void DelayPipe::push(Clock::time_point due, std::string bytes) {
    if (bytes.empty() || ended_)
        return;
    queued_ += bytes.size();
    chunks_.push_back({due, std::move(bytes), PipeEnd::Open});
}

void DelayPipe::pushEnd(Clock::time_point due, PipeEnd end) {
    if (ended_)
        return;
    ended_ = true;
    chunks_.push_back({due, std::string(), end});
}

bool DelayPipe::headDue(Clock::time_point now) const { return !chunks_.empty() && chunks_.front().due <= now; }

const char* DelayPipe::headData() const { return chunks_.front().bytes.data() + offset_; }

std::size_t DelayPipe::headSize() const { return chunks_.front().bytes.size() - offset_; }

void DelayPipe::consume(std::size_t n) {
    offset_ += n;
    queued_ -= n;
    if (offset_ >= chunks_.front().bytes.size()) {
        chunks_.pop_front();
        offset_ = 0;
    }
}

void DelayPipe::popEnd() { chunks_.pop_front(); }

void DelayPipe::clear() {
    chunks_.clear();
    offset_ = 0;
    queued_ = 0;
    ended_ = true;
}

} // namespace relay
