#pragma once
// A listening TCP socket on 127.0.0.1 at a port the system chooses, for
// tests that play a server by hand.

namespace testsupport {

// The socket (close it with ::close), or -1; port is set to the port
// chosen. flags go to socket(2)'s type, e.g. SOCK_CLOEXEC.
int listenOnLoopback(int backlog, int& port, int flags = 0);

} // namespace testsupport
