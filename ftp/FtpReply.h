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
    // The text of the first line after "ddd " or "ddd-".
    std::string text() const;
};

// The code of a line that starts a reply ("ddd " / "ddd-" / "ddd"), or 0.
// Sets continued when the line opens a multi-line reply.
int parseReplyCode(const std::string& line, bool& continued);

// The path of a 257 reply. Quotes inside the path should be doubled, but
// some servers send them single ("/q"uote" is your current location), so
// the reply may read several ways. The reading chosen:
//  1. the one that is the path the client asked for (asked, when given:
//     the same path, or the same last name);
//  2. else the standard reading, when the server doubled a quote;
//  3. else the longest reading whose closing quote ends the text or is
//     followed by a blank;
//  4. else the standard reading.
// False when there is no non-empty reading.
bool parseQuotedPath(const std::string& text, std::string& path, const std::string& asked = std::string());

// The last name of a path ("/a/b/" gives "b"); empty for the root.
std::string lastPathName(const std::string& path);

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
    bool mdtm = false;
    bool restStream = false;  // "REST STREAM": transfers restart at a byte offset
};
ServerFeatures parseFeatures(const FtpReply& reply);

} // namespace ftp
