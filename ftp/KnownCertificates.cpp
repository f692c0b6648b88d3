#include "ftp/KnownCertificates.h"

#include "platform/FileContents.h"

#include <cctype>
#include <mutex>
#include <vector>

namespace ftp {

namespace {

struct Line {
    std::string key;
    std::string fingerprint;
};

// Lines without a key and a fingerprint are left out.
std::vector<Line> parse(const std::string& bytes) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        std::string text = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? bytes.size() : end + 1;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        std::size_t space = text.find(' ');
        if (space == std::string::npos || space == 0 || space + 1 == text.size())
            continue;
        lines.push_back({text.substr(0, space), text.substr(space + 1)});
    }
    return lines;
}

bool fitsOnOneLine(const std::string& text) {
    for (char c : text)
        if (std::isspace(static_cast<unsigned char>(c)) || c == '\0')
            return false;
    return !text.empty();
}

// One writer at a time in this process: two connects that both remember
// a server do not lose one another's line.
std::mutex& fileMutex() {
    static std::mutex m;
    return m;
}

} // namespace

std::string serverKey(const std::string& host, int port) {
    std::string lower;
    for (char c : host)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find(':') != std::string::npos)
        lower = "[" + lower + "]";
    return lower + ":" + std::to_string(port);
}

std::string KnownCertificates::find(const std::string& host, int port) const {
    std::string bytes;
    std::lock_guard<std::mutex> lock(fileMutex());
    if (platform::readWholeFile(path_, bytes) != platform::ReadResult::Ok)
        return {};
    const std::string key = serverKey(host, port);
    for (const Line& line : parse(bytes))
        if (line.key == key)
            return line.fingerprint;
    return {};
}

bool KnownCertificates::remember(const std::string& host, int port, const std::string& fingerprint) const {
    if (!fitsOnOneLine(host) || !fitsOnOneLine(fingerprint))
        return false;
    std::lock_guard<std::mutex> lock(fileMutex());
    std::string bytes;
    if (platform::readWholeFile(path_, bytes) == platform::ReadResult::Failed)
        return false;
    const std::string key = serverKey(host, port);
    std::vector<Line> lines = parse(bytes);
    bool replaced = false;
    for (Line& line : lines)
        if (line.key == key) {
            line.fingerprint = fingerprint;
            replaced = true;
        }
    if (!replaced)
        lines.push_back({key, fingerprint});
    std::string text;
    for (const Line& line : lines)
        text += line.key + " " + line.fingerprint + "\n";
    return platform::replaceFileContents(path_, text, 0600);
}

} // namespace ftp
