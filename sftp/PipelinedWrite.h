#pragma once
// An upload with several writes in flight. libssh 0.10 has no asynchronous
// write (sftp_write sends one request and waits for its reply), which
// would cost a round trip per chunk; here the SSH_FXP_WRITE requests are
// sent on the channel by our own code (sftp/SftpPackets.h) and their
// replies read as they come, the window refilled after each.
#include <cstddef>
#include <cstdint>
#include <functional>

#include <libssh/sftp.h>

#include "sftp/TransferWindow.h"

namespace sftp {

// Writes what is left to read from the local file fd to the open remote
// file, starting at the remote offset. onWritten gets byte counts as the
// server confirms them in file order: their sum is always the length of a
// confirmed stretch from offset on, with no write unconfirmed before it
// (servers may carry writes out of order). A failed write or local read
// still waits for every reply outstanding, so the channel stays usable.
enum class WriteEnd {
    Whole,            // every byte written and confirmed
    LocalReadFailed,  // fd could not be read
    Refused,          // the server refused a write (a full disk among others)
    ChannelBroken,    // the channel failed: the connection is lost
};
WriteEnd writePipelined(sftp_file file, int fd, uint64_t offset, const TransferWindow& window,
                        const std::function<void(std::size_t)>& onWritten);

} // namespace sftp
