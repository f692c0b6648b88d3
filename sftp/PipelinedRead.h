#pragma once
// A download with a window of reads in flight, through libssh's
// asynchronous reads (sftp_async_read_begin / sftp_async_read): the next
// requests go out while the replies to the first ones arrive.
#include <cstddef>
#include <cstdint>
#include <functional>

#include <libssh/sftp.h>

#include "sftp/TransferWindow.h"

namespace sftp {

// Reads the open remote file from offset on and appends it to the local
// file fd. size is the remote file's size when known, -1 otherwise: the
// requests then end exactly there, and one more request at size, sent with
// them, confirms that nothing follows, so a file that ends sooner or goes
// on longer fails. A server that sends less per request than asked is
// asked again from where its data ended, and window.chunkBytes drops to
// what it sends (for the rest of the connection). onRead gets each byte
// count written to fd. Every reply outstanding is read before this
// returns, whatever happened.
enum class ReadEnd {
    Whole,             // every byte, and the end where it belongs
    WrongLength,       // the file ended sooner, or went on past size
    LocalWriteFailed,  // fd did not take the bytes
    Failed,            // a read failed: the server refused it, or the connection is gone
};
ReadEnd readPipelined(sftp_file file, int fd, uint64_t offset, int64_t size, TransferWindow& window,
                      const std::function<void(std::size_t)>& onRead);

} // namespace sftp
