#pragma once
// One direction of a relayed connection: what was read from one end,
// waiting until its due time to be written to the other, in order. The end
// of the stream (a close or a reset) travels through it like data, so it
// arrives as late as the bytes before it.
#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

namespace relay {

using Clock = std::chrono::steady_clock;

enum class PipeEnd { Open, Closed, Reset };

class DelayPipe {
public:
    void push(Clock::time_point due, std::string bytes);
    void pushEnd(Clock::time_point due, PipeEnd end);

    // True when the first chunk (or the end) is due at now.
    bool headDue(Clock::time_point now) const;
    bool empty() const { return chunks_.empty(); }
    Clock::time_point headDueTime() const { return chunks_.front().due; }
    // The unwritten bytes of the first chunk; empty when it is the end.
    const char* headData() const;
    std::size_t headSize() const;
    // The end the first chunk carries (Open: it is data).
    PipeEnd headEnd() const { return chunks_.front().end; }
    // Marks n bytes of the first chunk written; a finished chunk is dropped.
    void consume(std::size_t n);
    void popEnd();

    std::size_t queuedBytes() const { return queued_; }
    // The stream's end was read (no more pushes).
    bool ended() const { return ended_; }
    void clear();

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
        PipeEnd end = PipeEnd::Open;
    };
    std::deque<Chunk> chunks_;
    std::size_t offset_ = 0;  // into the first chunk
    std::size_t queued_ = 0;
    bool ended_ = false;
};

} // namespace relay
