#pragma once
// The control connection: commands out, replies in, and a record of whether
// the conversation can still go on.
#include <cstdint>
#include <string>

#include "ftp/FtpReply.h"
#include "ftp/ReplyReader.h"
#include "ftp/Socket.h"

namespace ftp {

class ControlConnection {
public:
    explicit ControlConnection(const AbortSignal& abort) : socket_(abort) {}

    bool open(const std::string& host, int port, int connectMs);
    // Takes over a connection made elsewhere (whose greeting is unread).
    bool adopt(int fd);
    void close();
    // Protects the connection with TLS from here on: after "234" to AUTH
    // TLS, or at once for implicit TLS. Bytes the server sent before the
    // handshake (outside the protection) are not accepted. False, with the
    // connection lost, when the handshake fails. resume, when given, is a
    // session of an earlier connection to the same server to resume.
    bool secure(const TlsContext& context, const std::string& hostName, int timeoutMs,
                const TlsSession& resume = TlsSession());
    bool isOpen() const { return socket_.isOpen() && !lost_; }
    // True once the connection can no longer be trusted: time-out, protocol
    // error, end of stream, abort or a 421 reply.
    bool lost() const { return lost_; }

    // Sends "command\r\n", every byte 0xFF (Telnet IAC) doubled. Refuses
    // (without sending) a command that holds CR, LF or NUL.
    bool send(const std::string& command);
    // The next complete reply, within timeoutMs.
    bool readReply(FtpReply& reply, int timeoutMs);
    // The next reply that is not preliminary, within timeoutMs in all:
    // preliminary replies do not extend the wait, so a server that keeps
    // sending them instead of its answer is cut off like a silent one.
    bool readFinalReply(FtpReply& reply, int timeoutMs);
    // Sends the command and returns its final reply.
    bool command(const std::string& command, FtpReply& reply, int timeoutMs);
    // Longest wait for the socket to take a command.
    void setSendTimeout(int ms) { sendMs_ = ms; }

    // The size a preliminary reply to the last command announced
    // ("150 ... (N bytes)"), -1 when none did.
    int64_t announcedSize() const { return announcedSize_; }

    // A complete reply is already received and waiting to be read.
    bool hasReadyReply() const { return reader_.hasReply(); }

    // The last reply that was not preliminary, since forgetLastReply().
    const FtpReply& lastReply() const { return lastReply_; }
    void forgetLastReply() { lastReply_ = FtpReply(); }

    // While no command is out: takes in what the server sent meanwhile,
    // without waiting. False, with the connection lost, when it has ended
    // (end of stream, an error) or the server said something no command
    // asked for (the 421 of a server closing an idle connection).
    bool quietWhileIdle();
    Socket& socket() { return socket_; }

private:
    Socket socket_;
    ReplyReader reader_;
    bool lost_ = false;
    int sendMs_ = 30000;
    int64_t announcedSize_ = -1;
    FtpReply lastReply_;
};

// True when the text can travel inside one command line.
bool isSafeCommandText(const std::string& text);

} // namespace ftp
