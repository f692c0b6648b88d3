#include "sftp/PipelinedRead.h"

#include "platform/FileDescriptors.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace sftp {

namespace {

struct Pending {
    uint32_t id;
    uint64_t offset;
    uint32_t length;
};

// libssh answers every read after the first end of file with 0 at once,
// without taking the read's reply off the channel; the flag is cleared so
// that each outstanding reply is really read.
int awaitRead(sftp_file file, char* buffer, const Pending& request) {
    file->eof = 0;
    return sftp_async_read(file, buffer, request.length, request.id);
}

class Reader {
public:
    Reader(sftp_file file, int fd, uint64_t offset, int64_t size, TransferWindow& window,
           const std::function<void(std::size_t)>& onRead)
        : file_(file), fd_(fd), size_(size), window_(window), onRead_(onRead), next_(offset), written_(offset),
          buffer_(window.chunkBytes) {}

    ReadEnd run() {
        for (;;) {
            if (!failed_ && !ended_)
                issue();
            if (pending_.empty())
                break;
            const Pending request = pending_.front();
            pending_.pop_front();
            const int got = awaitRead(file_, buffer_.data(), request);
            if (!failed_)
                take(request, got);
        }
        if (failed_)
            return end_;
        return ended_ && (size_ < 0 || written_ == static_cast<uint64_t>(size_)) ? ReadEnd::Whole
                                                                               : ReadEnd::WrongLength;
    }

private:
    // Fills the window: chunks up to the known size and the one request
    // beyond it, or chunks until the end shows when the size is unknown.
    void issue() {
        while (pending_.size() < window_.requests) {
            uint32_t length = static_cast<uint32_t>(window_.chunkBytes);
            if (size_ >= 0) {
                const auto size = static_cast<uint64_t>(size_);
                if (next_ < size)
                    length = static_cast<uint32_t>(std::min<uint64_t>(length, size - next_));
                else if (!probed_)
                    length = 1;
                else
                    return;
                if (next_ >= size)
                    probed_ = true;
            }
            if (sftp_seek64(file_, next_) != 0) {
                fail(ReadEnd::Failed);
                return;
            }
            const int id = sftp_async_read_begin(file_, length);
            if (id < 0) {
                fail(ReadEnd::Failed);
                return;
            }
            pending_.push_back({static_cast<uint32_t>(id), next_, length});
            next_ += length;
        }
    }

    // The first reason stands.
    void fail(ReadEnd why) {
        if (!failed_)
            end_ = why;
        failed_ = true;
    }

    void take(const Pending& request, int got) {
        if (got < 0) {
            fail(ReadEnd::Failed);
            return;
        }
        if (got == 0) {
            // The end of the file: right after the data that came, and not
            // before its known size. The requests behind it end there too.
            if (!ended_ && (request.offset != written_ ||
                            (size_ >= 0 && request.offset < static_cast<uint64_t>(size_))))
                fail(ReadEnd::WrongLength);
            ended_ = true;
            return;
        }
        const bool beyondSize = size_ >= 0 && request.offset >= static_cast<uint64_t>(size_);
        if (ended_ || beyondSize || request.offset != written_ || static_cast<uint32_t>(got) > request.length) {
            fail(ReadEnd::WrongLength);
            return;
        }
        if (!platform::writeAll(fd_, buffer_.data(), static_cast<std::size_t>(got))) {
            fail(ReadEnd::LocalWriteFailed);
            return;
        }
        written_ += static_cast<uint64_t>(got);
        onRead_(static_cast<std::size_t>(got));
        if (static_cast<uint32_t>(got) < request.length)
            restartAfterShortRead(static_cast<std::size_t>(got));
    }

    // The requests behind a short one ask for data past a gap: their
    // replies are read and dropped, and reading goes on from the gap in
    // chunks the server sends whole.
    void restartAfterShortRead(std::size_t got) {
        for (const Pending& request : pending_)
            if (awaitRead(file_, buffer_.data(), request) < 0)
                fail(ReadEnd::Failed);
        pending_.clear();
        window_.chunkBytes = std::min(window_.chunkBytes, got);
        next_ = written_;
        probed_ = false;
    }

    sftp_file file_;
    int fd_;
    int64_t size_;
    TransferWindow& window_;
    const std::function<void(std::size_t)>& onRead_;
    uint64_t next_;
    uint64_t written_;
    std::vector<char> buffer_;
    std::deque<Pending> pending_;
    bool probed_ = false;
    bool ended_ = false;
    bool failed_ = false;
    ReadEnd end_ = ReadEnd::Failed;
};

} // namespace

ReadEnd readPipelined(sftp_file file, int fd, uint64_t offset, int64_t size, TransferWindow& window,
                      const std::function<void(std::size_t)>& onRead) {
    return Reader(file, fd, offset, size, window, onRead).run();
}

} // namespace sftp
