#pragma once
// The data connection of one transfer command: set up in active mode
// (listen, PORT/EPRT, accept) or passive mode (EPSV/PASV, connect), then the
// byte loops that move data while watching the control connection.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ftp/ControlConnection.h"
#include "ftp/Deadline.h"
#include "ftp/FtpTypes.h"
#include "ftp/Socket.h"

namespace ftp {

// Takes received bytes; false stops the transfer as failed.
using DataSink = std::function<bool(const char* data, std::size_t size)>;
// Fills the buffer; returns the count, 0 at the end, -1 on a read error.
using DataSource = std::function<long(char* buffer, std::size_t size)>;

enum class DataSetup {
    Ready,
    Refused,  // PORT/EPRT refused, or passive mode named a port we refuse: the other mode may work
    Failed,
};

enum class DataArrival {
    Connected,
    NeverArrived,  // active mode: the server did not connect back in time
    ReplyInstead,  // the server answered on the control connection instead
    Failed,
};

// What a data connection protected with TLS takes from the control
// connection.
struct DataProtection {
    const TlsContext* context = nullptr;
    std::string hostName;
    // The control connection's session: every data connection resumes it
    // (servers may insist, to know the data comes from the same client).
    TlsSession session;
    // The certificate the control connection accepted; the data
    // connection's peer must show the same one.
    std::string fingerprint;
};

class DataConnection {
public:
    // Every wait ends by the deadline at the latest, if one is given.
    DataConnection(ControlConnection& control, const AbortSignal& abort, const FtpTimeouts& timeouts,
                   const Deadline& deadline = Deadline());

    // Active mode: listen on the control connection's local address on a
    // port the system chooses, then announce it with PORT or EPRT. Done
    // before the transfer command, since some servers connect at once.
    DataSetup announceActive();
    // Passive mode: EPSV, then PASV unless EPSV already failed on this
    // connection (epsvRefused is updated); connects to the control peer,
    // whatever address the reply names. A reply naming a port below 1024
    // is not used (PASV is tried after such an EPSV); Refused when that
    // left no port.
    DataSetup openPassive(bool& epsvRefused);

    // After the command was accepted: waits for the server's connection in
    // active mode, watching the control connection. A final reply read
    // meanwhile is left in reply (hasReply). Passive mode is already connected.
    DataArrival awaitConnection(FtpReply& reply, bool& hasReply);

    // The data connection goes through TLS (before awaitConnection).
    void protect(DataProtection protection) { protection_ = std::move(protection); }
    // After awaitConnection gave Connected: the TLS handshake (we are the
    // TLS client in both modes), watching the control connection as
    // awaitConnection does. Without protection it does nothing.
    DataArrival secure(FtpReply& reply, bool& hasReply);

    // Moves bytes until the server ends the stream. A reply arriving on the
    // control connection meanwhile is stored in earlyReply (hasEarlyReply);
    // an error reply ends the transfer. counter grows with every byte. The
    // transfer fails when no byte moved for the stall time, counted from
    // the last byte: replies on the control connection do not restart it.
    bool receiveAll(const DataSink& sink, std::atomic<int64_t>& counter, FtpReply& earlyReply,
                    bool& hasEarlyReply);
    bool sendAll(const DataSource& source, std::atomic<int64_t>& counter, FtpReply& earlyReply,
                 bool& hasEarlyReply);
    // After the byte loops: under TLS, whether the server ended the data
    // stream with close_notify (after ours, on an upload). Without one the
    // stream may have been cut short by someone between, whatever the
    // server answers, and the transfer needs another proof (its size).
    // Always true in clear, where nothing more can be known.
    bool endConfirmed() const;

    void close();

private:
    bool readEarlyReply(FtpReply& earlyReply, bool& hasEarlyReply);
    DataArrival refuseData(bool hasReply);
    void awaitPeerClose(FtpReply& earlyReply, bool& hasEarlyReply);
    // How long the next wait of the byte loops may take: what is left of
    // the stall time since lastProgress, and of the deadline.
    int waitLeft(Deadline::Clock::time_point lastProgress) const;
    int replyWait() const { return deadline_.cap(timeouts_.replyMs); }

    ControlConnection& control_;
    const AbortSignal& abort_;
    FtpTimeouts timeouts_;
    Deadline deadline_;
    // Active mode takes the data connection only from the server's host.
    SocketAddress server_;
    Socket listener_;
    Socket data_;
    bool active_ = false;
    std::optional<DataProtection> protection_;
    bool sentEnd_ = true;  // an upload's close_notify went out
};

} // namespace ftp
