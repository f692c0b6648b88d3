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
// file, starting at the remote offset. onWritten gets the byte count of
// each write the server confirmed. A failed write or local read still
// waits for every reply outstanding, so the channel stays usable; when the
// channel itself failed, channelBroken is set and the connection is lost.
bool writePipelined(sftp_file file, int fd, uint64_t offset, const TransferWindow& window,
                    const std::function<void(std::size_t)>& onWritten, bool& channelBroken);

} // namespace sftp
