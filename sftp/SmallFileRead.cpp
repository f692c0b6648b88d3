#include "sftp/SmallFileRead.h"

#include "sftp/SftpPackets.h"

#include <algorithm>
#include <array>

#include <sys/stat.h>

namespace sftp {

namespace {

// The requests sent together once the file is open.
enum Request { Fstat, Read, Probe, Close, kRequests };

struct Reply {
    uint32_t id = 0;
    bool expected = false;  // a request went out for it
    bool answered = false;
    uint8_t type = 0;
    std::string payload;  // after the type, starting with the id
};

// A packet's bytes up to its id, with room for the length and type.
std::string packetWithId(uint32_t id) {
    std::string packet(5, '\0');
    appendU32(packet, id);
    return packet;
}

std::string openRequest(uint32_t id, const std::string& wire) {
    std::string packet = packetWithId(id);
    appendString(packet, wire.data(), wire.size());
    appendU32(packet, kFxfRead);
    appendU32(packet, 0);  // no attributes
    framePacket(kFxpOpen, packet);
    return packet;
}

std::string handleRequest(uint8_t type, uint32_t id, const std::string& handle) {
    std::string packet = packetWithId(id);
    appendString(packet, handle.data(), handle.size());
    framePacket(type, packet);
    return packet;
}

std::string readRequest(uint32_t id, const std::string& handle, uint64_t offset, uint32_t length) {
    std::string packet = packetWithId(id);
    appendString(packet, handle.data(), handle.size());
    appendU64(packet, offset);
    appendU32(packet, length);
    framePacket(kFxpRead, packet);
    return packet;
}

bool readReply(ssh_channel channel, std::size_t maxBytes, Reply& reply) {
    PacketReader reader(reply.payload);
    return readPacket(channel, reply.type, reply.payload, maxBytes) && reader.u32(reply.id);
}

// The status code of a STATUS reply; false for any other reply.
bool statusOf(const Reply& reply, uint32_t& code) {
    PacketReader reader(reply.payload);
    uint32_t id = 0;
    return reply.type == kFxpStatus && reader.u32(id) && reader.u32(code);
}

// The one string a HANDLE or DATA reply carries.
bool stringOf(const Reply& reply, uint8_t type, std::string& value) {
    PacketReader reader(reply.payload);
    uint32_t id = 0;
    return reply.type == type && reader.u32(id) && reader.string(value);
}

// Size, time and type from the ATTRS of SFTP version 3; the fields after
// the modification time are not needed.
bool readAttributes(const Reply& reply, SmallFile& file, bool& directory) {
    PacketReader reader(reply.payload);
    uint32_t id = 0, flags = 0, skipped = 0, permissions = 0, atime = 0, mtime = 0;
    uint64_t size = 0;
    if (reply.type != kFxpAttrs || !reader.u32(id) || !reader.u32(flags))
        return false;
    if ((flags & SSH_FILEXFER_ATTR_SIZE) && !reader.u64(size))
        return false;
    if ((flags & SSH_FILEXFER_ATTR_UIDGID) && !(reader.u32(skipped) && reader.u32(skipped)))
        return false;
    if ((flags & SSH_FILEXFER_ATTR_PERMISSIONS) && !reader.u32(permissions))
        return false;
    if ((flags & SSH_FILEXFER_ATTR_ACMODTIME) && !(reader.u32(atime) && reader.u32(mtime)))
        return false;
    file.statedSize = (flags & SSH_FILEXFER_ATTR_SIZE) ? static_cast<int64_t>(size) : -1;
    file.time = (flags & SSH_FILEXFER_ATTR_ACMODTIME) ? std::to_string(mtime) : std::string();
    directory = (flags & SSH_FILEXFER_ATTR_PERMISSIONS) && S_ISDIR(permissions);
    return true;
}

// Sends OPEN and takes the handle from its reply. When there is none,
// failure says why: Undecided when the server refused.
bool openFile(ssh_channel channel, uint32_t id, const std::string& wire, std::string& handle,
              SmallReadEnd& failure, const std::function<void()>& onReply) {
    Reply reply;
    failure = SmallReadEnd::ChannelBroken;
    if (!sendBytes(channel, openRequest(id, wire)) || !readReply(channel, kMaxOwnReplyBytes, reply) ||
        reply.id != id)
        return false;
    onReply();
    if (reply.type == kFxpStatus)
        failure = SmallReadEnd::Undecided;
    return stringOf(reply, kFxpHandle, handle);
}

// Reads the reply to every request that went out, in whatever order the
// server sends them.
bool readReplies(ssh_channel channel, std::size_t maxBytes, std::array<Reply, kRequests>& replies,
                 const std::function<void()>& onReply) {
    auto unanswered = [&] {
        return std::any_of(replies.begin(), replies.end(), [](const Reply& r) { return r.expected && !r.answered; });
    };
    while (unanswered()) {
        Reply reply;
        if (!readReply(channel, maxBytes, reply))
            return false;
        auto slot = std::find_if(replies.begin(), replies.end(), [&](const Reply& r) {
            return r.expected && !r.answered && r.id == reply.id;
        });
        if (slot == replies.end())
            return false;  // a reply to nothing we asked: the stream is out of step
        slot->answered = true;
        slot->type = reply.type;
        slot->payload = std::move(reply.payload);
        onReply();
    }
    return true;
}

// Whether the replies make the whole file of the size expected. The reply
// to CLOSE does not matter: every byte has arrived by then.
bool agreeOnWholeFile(const std::array<Reply, kRequests>& replies, uint32_t size, SmallFile& file) {
    bool directory = false;
    if (!readAttributes(replies[Fstat], file, directory) || directory ||
        (file.statedSize >= 0 && file.statedSize != static_cast<int64_t>(size)))
        return false;
    if (replies[Read].expected && !(stringOf(replies[Read], kFxpData, file.data) && file.data.size() == size))
        return false;
    uint32_t code = 0;
    return statusOf(replies[Probe], code) && code == kFxEof;
}

} // namespace

SmallReadEnd readSmallFile(sftp_session sftp, const std::string& wire, uint32_t size, SmallFile& file,
                           const std::function<void()>& onReply) {
    file = SmallFile{};
    ssh_channel channel = sftp->channel;
    std::string handle;
    SmallReadEnd failure = SmallReadEnd::ChannelBroken;
    if (!openFile(channel, nextRequestId(sftp), wire, handle, failure, onReply))
        return failure;
    std::array<Reply, kRequests> replies;
    for (Reply& reply : replies) {
        reply.id = nextRequestId(sftp);
        reply.expected = true;
    }
    // A read of no bytes would say nothing: an empty file has only the
    // read past its end.
    replies[Read].expected = size > 0;
    std::string batch = handleRequest(kFxpFstat, replies[Fstat].id, handle);
    if (replies[Read].expected)
        batch += readRequest(replies[Read].id, handle, 0, size);
    batch += readRequest(replies[Probe].id, handle, size, 1);
    batch += handleRequest(kFxpClose, replies[Close].id, handle);
    const std::size_t maxBytes = std::max<std::size_t>(kMaxOwnReplyBytes, std::size_t{size} + 64);
    if (!sendBytes(channel, batch) || !readReplies(channel, maxBytes, replies, onReply))
        return SmallReadEnd::ChannelBroken;
    if (!agreeOnWholeFile(replies, size, file)) {
        file = SmallFile{};
        return SmallReadEnd::Undecided;
    }
    return SmallReadEnd::Whole;
}

} // namespace sftp
