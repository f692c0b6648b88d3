#pragma once
// The byte channel under a TLS session: the socket, written without ever
// raising SIGPIPE (OpenSSL's own socket channel writes with write(), which
// ends the process when the peer has gone).
struct bio_st;

namespace ftp {

// A new channel over the non-blocking socket fd (not closed with it).
bio_st* newSocketBio(int fd);

// The same channel for reading, through a buffer of bufferBytes: one
// system call brings in many records, which the session then takes one at
// a time. (The session's own read-ahead would do the same, but it moves
// what is left after each record to the front of its buffer: with room for
// many records that costs several copies of every byte received.)
bio_st* newBufferedSocketReader(int fd, int bufferBytes);

} // namespace ftp
