#pragma once
// Plain types shared by the FTP engine and its callers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// Calendar time of a remote entry as the server reported it (no time-zone
// conversion); all zero when the listing gave no time.
struct RemoteTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// A remote path as the program shows it (UTF-8) and, when known, the
// server's own bytes for it. A batch takes the bytes when it starts, so
// what it acts on changes neither with later listings, which may show
// another entry under the same text, nor with a new connection. Without
// bytes the path goes by the connection's name rules.
struct RemoteName {
    RemoteName() = default;
    RemoteName(std::string shownPath) : path(std::move(shownPath)) {}
    RemoteName(const char* shownPath) : path(shownPath) {}
    RemoteName(std::string shownPath, std::string wirePath) : path(std::move(shownPath)), wire(std::move(wirePath)) {}

    bool empty() const { return path.empty() && wire.empty(); }

    std::string path;
    std::string wire;  // empty: not known
};

namespace ftp {
constexpr int kDefaultConnectTimeoutMs = 15000;
constexpr int kDefaultReplyTimeoutMs = 30000;
constexpr int kDefaultAcceptTimeoutMs = 10000;
// A transfer is cut only when no byte moved for this long.
constexpr int kDefaultStallTimeoutMs = 60000;
// A whole listing, however slowly it trickles in. A listing at the entry
// cap (a million lines, some 70 MB) needs about 2 s on a local network and
// a minute at 10 Mbit/s; an ordinary folder well under a second. A server
// that sends a line now and then can hold the listing no longer than this,
// and the user can end it sooner with 断开.
constexpr int kDefaultListingTimeoutMs = 120000;
} // namespace ftp

struct FtpTimeouts {
    int connectMs = ftp::kDefaultConnectTimeoutMs;  // TCP connect of control and passive data
    int replyMs = ftp::kDefaultReplyTimeoutMs;      // waiting for a complete reply
    int acceptMs = ftp::kDefaultAcceptTimeoutMs;    // server connecting back in active mode
    int stallMs = ftp::kDefaultStallTimeoutMs;      // no data byte moved
    int listingMs = ftp::kDefaultListingTimeoutMs;  // a whole listing, from the command on
};

// Why the last connect failed for the sake of TLS.
enum class SecurityFailure {
    None,
    TlsNotOffered,          // TLS was required; the server speaks only in clear
    DataProtectionRefused,  // TLS was required; the server refused PROT P
    HandshakeFailed,        // the server broke off or garbled the TLS handshake
    CertificateRejected,    // its certificate did not verify and was not accepted
    ClearLoginRefused,      // it spoke TLS before, refused it now, and the login in clear was declined
};

// How the connection is protected, as the last connect left it.
struct ConnectionSecurity {
    bool controlProtected = false;  // commands, replies and the password
    bool dataProtected = false;     // listings and files (PROT P)
    // What protects it, for the log: the TLS version ("TLSv1.3"), or over
    // SSH the cipher and key exchange ("SSH chacha20-poly1305@openssh.com,
    // curve25519-sha256"); empty in clear.
    std::string protection;
    SecurityFailure failure = SecurityFailure::None;
};
namespace ftp {
// Most entries one listing may hold; a longer one is cut and reported as
// failed. The largest folders of real deployments hold a few hundred
// thousand entries; a million fits in the window in about 200 MB.
constexpr std::size_t kMaxListingEntries = std::size_t{1} << 20;
// A listing is held in memory, so it is bounded in bytes as well as in
// entries: 128 bytes a line at the entry cap (a plain Unix line is about
// 70).
constexpr std::size_t kMaxListingBytes = std::size_t{128} << 20;
} // namespace ftp

// Attribute bits of listing entries.
namespace ftp {
constexpr int kAttrReadOnly = 1;
constexpr int kAttrDirectory = 16;
constexpr int kAttrNormal = 128;
// A symbolic link (Windows calls it a reparse point). The directory bit
// then tells what the server said of the link's target, if anything.
constexpr int kAttrLink = 0x400;
} // namespace ftp
