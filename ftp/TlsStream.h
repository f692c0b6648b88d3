#pragma once
// A TLS client session over a non-blocking socket. No call waits: each
// says whether it is done or needs the socket readable or writable first,
// and the owner (Socket) does the bounded, abortable waiting.
#include <cstddef>
#include <memory>
#include <string>

#include "ftp/ServerCertificate.h"

struct ssl_st;
struct ssl_session_st;

namespace ftp {

class TlsContext;

// A session to resume on another connection to the same server.
using TlsSession = std::shared_ptr<ssl_session_st>;

// Closed: the peer ended its stream with close_notify. Cut: the stream
// ended without one, which is also what a truncation looks like.
enum class TlsStatus { Done, WantRead, WantWrite, Closed, Cut, Failed };

class TlsStream {
public:
    // hostName is what the certificate must name (a host name or an
    // address); a name is also sent to the server (SNI).
    TlsStream(const TlsContext& context, int fd, const std::string& hostName, const TlsSession& resume);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    bool valid() const { return ssl_ != nullptr; }
    TlsStatus handshake();
    bool established() const { return established_; }

    // Bytes read or written (> 0), or -1 with the status saying why not.
    // Once the stream has ended, every read gives how it ended.
    long read(char* buffer, std::size_t size, TlsStatus& status);
    long write(const char* data, std::size_t size, TlsStatus& status);
    // Sends close_notify; Failed once the session broke (nothing is sent).
    TlsStatus shutdown();
    // The peer's close_notify came: it ended the stream on purpose, and
    // nothing it sent was cut off.
    bool closeNotifyReceived() const { return ended_ && end_ == TlsStatus::Closed; }

    // True when a read would return at once (data, end of stream or an
    // error) without the socket becoming readable again. Records that
    // carry no data (session tickets) are taken in on the way.
    bool readableNow();
    // Takes in what arrived after the socket polled readable; false when
    // it held no data for the reader (only tickets, or part of a record).
    bool takeArrivedInput();

    std::string version() const;
    TlsSession session() const;
    // A copy of the session for a later connection, kept apart from this
    // one's fate (a session whose connection ends without close_notify is
    // marked unusable); empty when it cannot be resumed.
    TlsSession resumableSession() const;
    // This connection resumed an earlier session.
    bool resumed() const;
    ServerCertificate certificate() const;
    // The certificate's fingerprint alone (as ServerCertificate gives it).
    std::string peerFingerprint() const;

private:
    TlsStatus statusOf(int result);
    // Marks the stream ended (the first end counts) and gives how.
    TlsStatus endWith(TlsStatus end);

    ssl_st* ssl_ = nullptr;
    unsigned problems_ = 0;  // filled in by the verification
    bool established_ = false;
    bool ended_ = false;  // close_notify or an error came: reads return at once
    TlsStatus end_ = TlsStatus::Failed;  // how it ended
};

} // namespace ftp
