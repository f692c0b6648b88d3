#pragma once
// How much of a transfer is in flight at once: requests of chunkBytes,
// at most requests of them unanswered.
#include <cstddef>

namespace sftp {

// What every SFTP server takes in one read or write (the protocol's drafts
// ask servers for at least this much).
constexpr std::size_t kPortableChunkBytes = 32 * 1024;

struct TransferWindow {
    std::size_t chunkBytes = kPortableChunkBytes;
    std::size_t requests = 64;
};

} // namespace sftp
