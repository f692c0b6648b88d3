#pragma once
// SFTP packets written and read on libssh's SFTP channel by our own code,
// for what libssh 0.10 does not offer: several writes in flight (its
// sftp_write waits for each reply), the limits@openssh.com query, and a
// small file's requests sent together (see SmallFileRead.h).
//
// This works beside libssh's own SFTP calls because libssh reads the
// channel one whole packet at a time and only while one of its calls
// runs: between its calls the channel stands at a packet boundary with no
// reply of libssh's outstanding. Every request sent here has its reply
// read here before a libssh call runs again, and ids come from the SFTP
// session's own counter, so they never repeat one of libssh's.
#include <cstddef>
#include <cstdint>
#include <string>

#include <libssh/sftp.h>

namespace sftp {

// Packet types and the status code of SFTP version 3.
constexpr uint8_t kFxpOpen = 3;
constexpr uint8_t kFxpClose = 4;
constexpr uint8_t kFxpRead = 5;
constexpr uint8_t kFxpWrite = 6;
constexpr uint8_t kFxpFstat = 8;
constexpr uint8_t kFxpStatus = 101;
constexpr uint8_t kFxpHandle = 102;
constexpr uint8_t kFxpData = 103;
constexpr uint8_t kFxpAttrs = 105;
constexpr uint8_t kFxpExtended = 200;
constexpr uint8_t kFxpExtendedReply = 201;
constexpr uint32_t kFxOk = 0;
constexpr uint32_t kFxEof = 1;
constexpr uint32_t kFxfRead = 0x1;  // SSH_FXP_OPEN's flag for reading

// Replies we read ourselves are small; a larger one is a broken stream.
constexpr uint32_t kMaxOwnReplyBytes = 64 * 1024;

uint32_t nextRequestId(sftp_session sftp);

void appendU32(std::string& out, uint32_t value);
void appendU64(std::string& out, uint64_t value);
void appendString(std::string& out, const char* data, std::size_t size);

// Reads fields from a packet's payload; every read fails past its end.
class PacketReader {
public:
    explicit PacketReader(const std::string& payload) : payload_(payload) {}
    bool u32(uint32_t& value);
    bool u64(uint64_t& value);
    bool skipString();
    bool string(std::string& value);

private:
    const std::string& payload_;
    std::size_t pos_ = 0;
};

// Fills in the length and type of a packet whose bytes start with 5 bytes
// left free for them.
void framePacket(uint8_t type, std::string& packet);
// Writes bytes of whole framed packets, one or several.
bool sendBytes(ssh_channel channel, const std::string& bytes);
// Frames a packet (as framePacket) and writes it.
bool sendPacket(ssh_channel channel, uint8_t type, std::string& packet);
// Reads one packet: its type and the payload after the type. A packet
// longer than maxBytes is taken for a broken stream.
bool readPacket(ssh_channel channel, uint8_t& type, std::string& payload,
                std::size_t maxBytes = kMaxOwnReplyBytes);

// What the server accepts in one request, from limits@openssh.com; the
// fields stay 0 when the server does not say.
struct ServerLimits {
    uint64_t maxReadLength = 0;
    uint64_t maxWriteLength = 0;
};
// Asks the server; false when the channel failed (the connection is then
// unusable), true otherwise, with or without limits.
bool queryLimits(sftp_session sftp, ServerLimits& limits);

} // namespace sftp
