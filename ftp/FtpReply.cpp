#include "ftp/FtpReply.h"

#include <cctype>
#include <cstdlib>

namespace ftp {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Reads a decimal number at pos; -1 when there is none or it is too large.
long readNumber(const std::string& text, std::size_t& pos) {
    std::size_t start = pos;
    long value = 0;
    while (pos < text.size() && isDigit(text[pos]) && pos - start < 6) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return pos == start ? -1 : value;
}

} // namespace

ReplyKind FtpReply::kind() const {
    switch (code / 100) {
    case 1: return ReplyKind::Preliminary;
    case 2: return ReplyKind::Completion;
    case 3: return ReplyKind::Intermediate;
    case 4: return ReplyKind::TransientFailure;
    default: return ReplyKind::PermanentFailure;
    }
}

std::string FtpReply::text() const {
    if (lines.empty() || lines.front().size() <= 4)
        return {};
    return lines.front().substr(4);
}

int parseReplyCode(const std::string& line, bool& continued) {
    continued = false;
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return 0;
    if (line[0] < '1' || line[0] > '5')
        return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return 0;
    continued = line.size() > 3 && line[3] == '-';
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

namespace {

// Between the first quote and its closing quote, doubled quotes made
// single; empty when there is none. doubled tells whether any was.
std::string standardQuotedReading(const std::string& text, bool& doubled) {
    doubled = false;
    std::string path;
    std::size_t pos = text.find('"');
    if (pos == std::string::npos)
        return path;
    for (++pos; pos < text.size(); ++pos) {
        if (text[pos] != '"') {
            path += text[pos];
            continue;
        }
        if (pos + 1 < text.size() && text[pos + 1] == '"') {
            path += '"';
            doubled = true;
            ++pos;
            continue;
        }
        return path;
    }
    return std::string();  // no closing quote
}

// The readings of a server that does not double quotes: up to each quote
// after the first that ends the text or is followed by a blank, longest
// first.
std::vector<std::string> singleQuoteReadings(const std::string& text) {
    std::vector<std::string> readings;
    const std::size_t open = text.find('"');
    if (open == std::string::npos)
        return readings;
    for (std::size_t close = text.size(); close-- > open + 1;) {
        if (text[close] != '"')
            continue;
        if (close + 1 < text.size() && text[close + 1] != ' ' && text[close + 1] != '\t')
            continue;
        if (close > open + 1)
            readings.push_back(text.substr(open + 1, close - open - 1));
    }
    return readings;
}

// A path without repeated or trailing separators, for comparing.
std::string normalizedPath(const std::string& path) {
    std::string out;
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/')
            out += c;
    if (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

bool isAskedPath(const std::string& reading, const std::string& asked) {
    if (asked.empty())
        return false;
    if (normalizedPath(reading) == normalizedPath(asked))
        return true;
    const std::string name = lastPathName(asked);
    return !name.empty() && lastPathName(reading) == name;
}

} // namespace

std::string lastPathName(const std::string& path) {
    const std::string normal = normalizedPath(path);
    const std::size_t slash = normal.rfind('/');
    return slash == std::string::npos ? normal : normal.substr(slash + 1);
}

bool parseQuotedPath(const std::string& text, std::string& path, const std::string& asked) {
    bool doubled = false;
    const std::string standard = standardQuotedReading(text, doubled);
    const std::vector<std::string> single = singleQuoteReadings(text);
    path.clear();
    if (!standard.empty() && isAskedPath(standard, asked))
        path = standard;
    for (const std::string& reading : single)
        if (path.empty() && isAskedPath(reading, asked))
            path = reading;
    if (path.empty())
        path = doubled || single.empty() ? standard : single.front();
    return !path.empty();
}

int parseEpsvPort(const std::string& text) {
    std::size_t open = text.find('(');
    if (open == std::string::npos || open + 4 >= text.size())
        return 0;
    char d = text[open + 1];
    if (text[open + 2] != d || text[open + 3] != d)
        return 0;
    std::size_t pos = open + 4;
    long port = readNumber(text, pos);
    if (port <= 0 || port > 65535 || pos >= text.size() || text[pos] != d)
        return 0;
    return static_cast<int>(port);
}

int parsePasvPort(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && !isDigit(text[pos]))
        ++pos;
    long numbers[6];
    for (int i = 0; i < 6; ++i) {
        numbers[i] = readNumber(text, pos);
        if (numbers[i] < 0 || numbers[i] > 255)
            return 0;
        if (i < 5) {
            if (pos >= text.size() || text[pos] != ',')
                return 0;
            ++pos;
        }
    }
    int port = static_cast<int>(numbers[4] * 256 + numbers[5]);
    return port > 0 ? port : 0;
}

int64_t parseAnnouncedSize(const std::string& text) {
    // "(N bytes)" must end the text (a "." may follow): a file name earlier
    // in the text may hold the same shape.
    const std::string upperText = upper(text);
    std::size_t end = upperText.find_last_not_of(" .");
    if (end == std::string::npos || upperText[end] != ')')
        return -1;
    std::size_t open = upperText.rfind('(', end);
    if (open == std::string::npos)
        return -1;
    std::size_t pos = open + 1;
    int64_t value = 0;
    int digits = 0;
    while (pos < end && upperText[pos] >= '0' && upperText[pos] <= '9' && digits < 18) {
        value = value * 10 + (upperText[pos] - '0');
        ++pos;
        ++digits;
    }
    const std::string unit = upperText.substr(pos, end - pos);
    if (digits == 0 || (unit != " BYTES" && unit != " BYTE"))
        return -1;
    return value;
}

ServerFeatures parseFeatures(const FtpReply& reply) {
    ServerFeatures features;
    if (!reply.isSuccess())
        return features;
    // The features are the lines between the first and the last.
    for (std::size_t i = 1; i + 1 < reply.lines.size(); ++i) {
        std::string line = upper(reply.lines[i]);
        std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        std::string name = line.substr(start, line.find(' ', start) - start);
        if (name == "MLST") features.mlst = true;
        else if (name == "UTF8") features.utf8 = true;
        else if (name == "EPSV") features.epsv = true;
        else if (name == "EPRT") features.eprt = true;
        else if (name == "SIZE") features.size = true;
        else if (name == "MDTM") features.mdtm = true;
        else if (name == "REST") features.restStream = line.find("STREAM", start) != std::string::npos;
    }
    return features;
}

} // namespace ftp
