#pragma once
// Which protocol a server speaks, told from the first bytes it sends after
// the TCP connect. The bytes are only peeked at: they stay in the socket
// for the engine that takes the connection over, so one connect serves
// whichever protocol it turns out to be.
namespace platform {

enum class ServerGreeting {
    Ssh,     // its first bytes are "SSH-": an SSH server
    Ftp,     // anything else it said (an FTP server greets with "220")
    Silent,  // nothing within the wait, or it closed the connection
};

// Waits up to waitMs for the server behind the connected socket fd to say
// something. abortFd, when not -1, ends the wait early once it becomes
// readable (the answer is then Silent).
ServerGreeting peekServerGreeting(int fd, int waitMs, int abortFd = -1);

} // namespace platform
