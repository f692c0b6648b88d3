#pragma once
// A small file read whole in two round trips. libssh's calls wait for each
// reply before the next request goes out, which costs a file of one read
// four round trips (open, fstat, read, close). Here OPEN goes out alone,
// and once its handle is back FSTAT, one READ of the whole file, one READ
// of a byte just past its end and CLOSE go out together. The requests and
// their replies are our own packets (see SftpPackets.h); every reply is
// read before this returns.
//
// The reads are planned from the size the caller expects (the listing's)
// and count only when the server agrees: the size it states for the open
// file, if it states one, is that size, the data is all of it, and the
// read past it finds the end of the file. Anything else (a refused open, a
// folder, a file of another size, a reply shorter than asked, a refused
// read) is Undecided: the caller then downloads the file the usual way,
// which finds out what is wrong and tells it as it always does.
#include <cstdint>
#include <functional>
#include <string>

#include <libssh/sftp.h>

namespace sftp {

enum class SmallReadEnd {
    Whole,          // data is the whole file, and the server agrees
    Undecided,      // see above; the channel is fine
    ChannelBroken,  // the connection failed or the stream is out of step: unusable
};

struct SmallFile {
    std::string data;
    int64_t statedSize = -1;  // the open file's size as the server states it; -1: not stated
    std::string time;         // its modification time in seconds since 1970; empty: not stated
};

// size: what the caller expects, no more than the largest read the server
// takes. onReply is called after each reply (to re-arm a time-out).
SmallReadEnd readSmallFile(sftp_session sftp, const std::string& wire, uint32_t size, SmallFile& file,
                           const std::function<void()>& onReply);

} // namespace sftp
