#include "sftp/PipelinedWrite.h"

#include "sftp/SftpPackets.h"

#include <cerrno>
#include <deque>
#include <string>

#include <unistd.h>

namespace sftp {

namespace {

struct InFlight {
    uint32_t id;
    std::size_t bytes;
    bool answered = false;
    bool written = false;
};

// Reads up to size bytes; fewer only at the end of the file. -1 on error.
long readFull(int fd, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

// One SSH_FXP_WRITE packet with the next chunk of the file; bytes 0 at the
// end of the file, -1 when the file could not be read.
long buildWrite(sftp_file file, int fd, uint32_t id, uint64_t offset, std::size_t chunk, std::string& packet) {
    packet.assign(5, '\0');
    appendU32(packet, id);
    appendString(packet, static_cast<const char*>(ssh_string_data(file->handle)), ssh_string_len(file->handle));
    appendU64(packet, offset);
    const std::size_t lengthAt = packet.size();
    packet.resize(lengthAt + 4 + chunk);
    const long n = readFull(fd, packet.data() + lengthAt + 4, chunk);
    if (n <= 0)
        return n;
    packet.resize(lengthAt + 4 + static_cast<std::size_t>(n));
    std::string length;
    appendU32(length, static_cast<uint32_t>(n));
    packet.replace(lengthAt, 4, length);
    return n;
}

} // namespace

WriteEnd writePipelined(sftp_file file, int fd, uint64_t offset, const TransferWindow& window,
                        const std::function<void(std::size_t)>& onWritten) {
    ssh_channel channel = file->sftp->channel;
    std::deque<InFlight> inFlight;  // in file order
    std::string packet;
    bool sourceDone = false;
    bool localFailed = false;
    bool refused = false;
    bool gap = false;  // a write before the rest was refused: nothing after it counts
    for (;;) {
        while (!localFailed && !refused && !sourceDone && inFlight.size() < window.requests) {
            const uint32_t id = nextRequestId(file->sftp);
            const long n = buildWrite(file, fd, id, offset, window.chunkBytes, packet);
            if (n <= 0) {
                localFailed = n < 0;
                sourceDone = true;
                break;
            }
            if (!sendPacket(channel, kFxpWrite, packet))
                return WriteEnd::ChannelBroken;
            inFlight.push_back({id, static_cast<std::size_t>(n)});
            offset += static_cast<uint64_t>(n);
            sourceDone = static_cast<std::size_t>(n) < window.chunkBytes;
        }
        if (inFlight.empty())
            return localFailed ? WriteEnd::LocalReadFailed : refused ? WriteEnd::Refused : WriteEnd::Whole;
        uint8_t type = 0;
        std::string reply;
        uint32_t id = 0, status = 0;
        PacketReader reader(reply);
        if (!readPacket(channel, type, reply) || !reader.u32(id))
            return WriteEnd::ChannelBroken;
        auto it = inFlight.begin();
        while (it != inFlight.end() && (it->id != id || it->answered))
            ++it;
        if (it == inFlight.end())
            return WriteEnd::ChannelBroken;  // a reply to nothing we asked: the stream is out of step
        it->answered = true;
        it->written = type == kFxpStatus && reader.u32(status) && status == kFxOk;
        refused = refused || !it->written;
        while (!inFlight.empty() && inFlight.front().answered) {
            gap = gap || !inFlight.front().written;
            if (!gap)
                onWritten(inFlight.front().bytes);
            inFlight.pop_front();
        }
    }
}

} // namespace sftp
