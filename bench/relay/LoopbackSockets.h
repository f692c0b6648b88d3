#pragma once
// The few socket calls the relay makes, all non-blocking and all on
// 127.0.0.1: it never listens on or connects to anything else.
#include <string>

namespace relay {

// A listening socket on 127.0.0.1:port (0: any free port); -1 on failure.
int listenLoopback(int port, std::string& error);
// The next waiting connection, non-blocking, Nagle off; -1 when none.
int acceptConnection(int listener);
// Starts a connection to 127.0.0.1:port; -1 when it failed at once.
// connected tells whether it is already established.
int connectLoopback(int port, bool& connected);
// The outcome of a connect that was in progress: 0, or the errno.
int connectError(int fd);
int localPort(int fd);
// Closes with SO_LINGER 0: the peer gets a reset, not an orderly close.
void closeWithReset(int fd);

} // namespace relay
