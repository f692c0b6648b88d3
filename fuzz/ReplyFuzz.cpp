// Control-connection bytes: the framer, then every parser of reply text.
#include "fuzz/FuzzTargets.h"
#include "ftp/FtpReply.h"
#include "ftp/ReplyReader.h"

namespace fuzz {
namespace {

void parseEverything(const ftp::FtpReply& reply) {
    FUZZ_CHECK(reply.code >= 100 && reply.code <= 999);
    FUZZ_CHECK(!reply.lines.empty() && reply.lines.size() <= ftp::kMaxReplyLines);
    (void)reply.kind();
    const std::string text = reply.text();
    std::string path;
    if (ftp::parseQuotedPath(text, path))
        FUZZ_CHECK(path.size() <= text.size());
    const int epsv = ftp::parseEpsvPort(text);
    FUZZ_CHECK(epsv >= 0 && epsv <= 65535);
    const int pasv = ftp::parsePasvPort(text);
    FUZZ_CHECK(pasv >= 0 && pasv <= 65535);
    (void)ftp::parseFeatures(reply);
    for (const std::string& line : reply.lines) {
        FUZZ_CHECK(line.size() <= ftp::kMaxReplyLineBytes);
        bool continued = false;
        (void)ftp::parseReplyCode(line, continued);
    }
}

} // namespace

// The first byte sets the size of the pieces the bytes arrive in, so
// lines and line ends split across reads are covered.
void replyReaderInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    const std::size_t piece = 1 + data[0] % 64;
    ++data;
    --size;
    ftp::ReplyReader reader;
    for (std::size_t at = 0; at < size; at += piece) {
        const bool ok = reader.feed(reinterpret_cast<const char*>(data) + at, std::min(piece, size - at));
        FUZZ_CHECK(ok != reader.broken());
        ftp::FtpReply reply;
        while (reader.next(reply))
            parseEverything(reply);
        if (!ok)
            break;
    }
    reader.reset();
    FUZZ_CHECK(!reader.broken() && !reader.hasReply());
}

} // namespace fuzz
