#include "ftp/AbortSignal.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace ftp {

AbortSignal::AbortSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

AbortSignal::~AbortSignal() {
    if (fd_ >= 0)
        ::close(fd_);
}

void AbortSignal::raise() {
    raised_.store(true);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

bool AbortSignal::consume() {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
    return raised_.exchange(false);
}

} // namespace ftp
