#pragma once
// The byte channel under a TLS session: the socket, written without ever
// raising SIGPIPE (OpenSSL's own socket channel writes with write(), which
// ends the process when the peer has gone).
struct bio_st;

namespace ftp {

// A new channel over the non-blocking socket fd (not closed with it).
bio_st* newSocketBio(int fd);

} // namespace ftp
