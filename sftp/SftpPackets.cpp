#include "sftp/SftpPackets.h"

namespace sftp {

namespace {

constexpr std::size_t kHeaderBytes = 5;  // length and type

bool readExactly(ssh_channel channel, char* data, std::size_t size) {
    while (size > 0) {
        // A blocking read that comes back empty without end of stream only
        // timed out; the watchdog bounds the wait by closing the socket.
        const int n = ssh_channel_read(channel, data, static_cast<uint32_t>(size), 0);
        if (n < 0 || (n == 0 && ssh_channel_is_eof(channel)))
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

uint32_t bigEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

} // namespace

uint32_t nextRequestId(sftp_session sftp) {
    return ++sftp->id_counter;
}

void appendU32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

void appendU64(std::string& out, uint64_t value) {
    appendU32(out, static_cast<uint32_t>(value >> 32));
    appendU32(out, static_cast<uint32_t>(value));
}

void appendString(std::string& out, const char* data, std::size_t size) {
    appendU32(out, static_cast<uint32_t>(size));
    out.append(data, size);
}

bool PacketReader::u32(uint32_t& value) {
    if (pos_ > payload_.size() || payload_.size() - pos_ < 4)
        return false;
    value = bigEndian32(payload_.data() + pos_);
    pos_ += 4;
    return true;
}

bool PacketReader::u64(uint64_t& value) {
    uint32_t high = 0, low = 0;
    if (!u32(high) || !u32(low))
        return false;
    value = (uint64_t{high} << 32) | low;
    return true;
}

bool PacketReader::skipString() {
    uint32_t size = 0;
    if (!u32(size) || payload_.size() - pos_ < size)
        return false;
    pos_ += size;
    return true;
}

bool PacketReader::string(std::string& value) {
    const std::size_t start = pos_ + 4;
    if (!skipString())
        return false;
    value.assign(payload_, start, pos_ - start);
    return true;
}

void framePacket(uint8_t type, std::string& packet) {
    const auto length = static_cast<uint32_t>(packet.size() - 4);
    for (int i = 0; i < 4; ++i)
        packet[i] = static_cast<char>((length >> (24 - 8 * i)) & 0xff);
    packet[4] = static_cast<char>(type);
}

bool sendPacket(ssh_channel channel, uint8_t type, std::string& packet) {
    if (packet.size() < kHeaderBytes)
        return false;
    framePacket(type, packet);
    return sendBytes(channel, packet);
}

bool sendBytes(ssh_channel channel, const std::string& bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const int n = ssh_channel_write(channel, data, static_cast<uint32_t>(left));
        if (n <= 0)
            return false;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readPacket(ssh_channel channel, uint8_t& type, std::string& payload, std::size_t maxBytes) {
    char header[kHeaderBytes];
    if (!readExactly(channel, header, sizeof header))
        return false;
    const uint32_t length = bigEndian32(header);
    if (length < 1 || length > maxBytes)
        return false;
    type = static_cast<uint8_t>(header[4]);
    payload.resize(length - 1);
    return readExactly(channel, payload.data(), payload.size());
}

bool queryLimits(sftp_session sftp, ServerLimits& limits) {
    limits = ServerLimits{};
    if (sftp_extension_supported(sftp, "limits@openssh.com", "1") != 1)
        return true;
    const uint32_t id = nextRequestId(sftp);
    std::string packet(kHeaderBytes, '\0');
    appendU32(packet, id);
    static const char kName[] = "limits@openssh.com";
    appendString(packet, kName, sizeof kName - 1);
    uint8_t type = 0;
    std::string payload;
    if (!sendPacket(sftp->channel, kFxpExtended, packet) || !readPacket(sftp->channel, type, payload))
        return false;
    PacketReader reader(payload);
    uint32_t replyId = 0;
    uint64_t maxPacket = 0;
    if (!reader.u32(replyId) || replyId != id)
        return false;
    if (type == kFxpExtendedReply && reader.u64(maxPacket) && reader.u64(limits.maxReadLength) &&
        reader.u64(limits.maxWriteLength))
        return true;
    limits = ServerLimits{};
    return type == kFxpStatus || type == kFxpExtendedReply;
}

} // namespace sftp
