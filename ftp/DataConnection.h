#pragma once
// The data connection of one transfer command: set up in active mode
// (listen, PORT/EPRT, accept) or passive mode (EPSV/PASV, connect), then the
// byte loops that move data while watching the control connection.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "ftp/ControlConnection.h"
#include "ftp/FtpTypes.h"
#include "ftp/Socket.h"

namespace ftp {

// Takes received bytes; false stops the transfer as failed.
using DataSink = std::function<bool(const char* data, std::size_t size)>;
// Fills the buffer; returns the count, 0 at the end, -1 on a read error.
using DataSource = std::function<long(char* buffer, std::size_t size)>;

enum class DataSetup {
    Ready,
    Refused,  // the server refused PORT/EPRT: passive mode may work
    Failed,
};

enum class DataArrival {
    Connected,
    NeverArrived,  // active mode: the server did not connect back in time
    ReplyInstead,  // the server answered on the control connection instead
    Failed,
};

class DataConnection {
public:
    DataConnection(ControlConnection& control, const AbortSignal& abort, const FtpTimeouts& timeouts);

    // Active mode: listen on the control connection's local address on a
    // port the system chooses, then announce it with PORT or EPRT. Done
    // before the transfer command, since some servers connect at once.
    DataSetup announceActive();
    // Passive mode: EPSV, then PASV unless EPSV already failed on this
    // connection (epsvRefused is updated); connects to the control peer.
    DataSetup openPassive(bool& epsvRefused);

    // After the command was accepted: waits for the server's connection in
    // active mode, watching the control connection. A final reply read
    // meanwhile is left in reply (hasReply). Passive mode is already connected.
    DataArrival awaitConnection(FtpReply& reply, bool& hasReply);

    // Moves bytes until the server ends the stream. A reply arriving on the
    // control connection meanwhile is stored in earlyReply (hasEarlyReply);
    // an error reply ends the transfer. counter grows with every byte.
    bool receiveAll(const DataSink& sink, std::atomic<int64_t>& counter, FtpReply& earlyReply,
                    bool& hasEarlyReply);
    bool sendAll(const DataSource& source, std::atomic<int64_t>& counter, FtpReply& earlyReply,
                 bool& hasEarlyReply);

    void close();

private:
    bool readEarlyReply(FtpReply& earlyReply, bool& hasEarlyReply);

    ControlConnection& control_;
    const AbortSignal& abort_;
    FtpTimeouts timeouts_;
    // Active mode takes the data connection only from the server's host.
    SocketAddress server_;
    Socket listener_;
    Socket data_;
    bool active_ = false;
};

} // namespace ftp
