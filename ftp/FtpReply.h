#pragma once
// One server reply and the parsing of what replies carry.
#include <cstdint>
#include <string>
#include <vector>

namespace ftp {

enum class ReplyKind {
    Preliminary,       // 1xx: more replies follow, the command is not done
    Completion,        // 2xx
    Intermediate,      // 3xx: the server wants the next command of a sequence
    TransientFailure,  // 4xx
    PermanentFailure,  // 5xx
};

struct FtpReply {
    int code = 0;
    std::vector<std::string> lines;  // raw lines, code included

    ReplyKind kind() const;
    bool isPreliminary() const { return kind() == ReplyKind::Preliminary; }
    bool isSuccess() const { return kind() == ReplyKind::Completion; }
    bool isFailure() const;
    // The text of the first line after "ddd " or "ddd-".
    std::string text() const;
};

// The code of a line that starts a reply ("ddd " / "ddd-" / "ddd"), or 0.
// Sets continued when the line opens a multi-line reply.
int parseReplyCode(const std::string& line, bool& continued);

// The path of a 257 reply: the text between the first quote and its closing
// quote, with doubled quotes made single. False when there is none.
bool parseQuotedPath(const std::string& text, std::string& path);

// The byte count a transfer's preliminary reply announces, as in
// "150 Opening BINARY mode data connection for f (1234 bytes)"; -1 when the
// text names none.
int64_t parseAnnouncedSize(const std::string& text);

// The port of a 229 reply "(|||port|)". 0 when malformed.
int parseEpsvPort(const std::string& text);
// The port of a 227 reply "(h1,h2,h3,h4,p1,p2)". 0 when malformed. The host
// part is not used: data connections go to the control connection's peer.
int parsePasvPort(const std::string& text);

// A server feature list (the lines of a 211 reply to FEAT).
struct ServerFeatures {
    bool mlst = false;
    bool utf8 = false;
    bool epsv = false;
    bool eprt = false;
    bool size = false;
};
ServerFeatures parseFeatures(const FtpReply& reply);

} // namespace ftp
