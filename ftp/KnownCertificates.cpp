#include "ftp/KnownCertificates.h"

#include "platform/FileContents.h"

#include <cctype>
#include <mutex>
#include <vector>

namespace ftp {

namespace {

struct Line {
    std::string key;
    std::string fingerprint;  // empty: the certificate verified
};

// Blank lines and lines without a key are left out.
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
        if (text.empty() || space == 0)
            continue;
        if (space == std::string::npos || space + 1 == text.size())
            lines.push_back({text.substr(0, space), {}});
        else
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

bool KnownCertificates::findLine(const std::string& host, int port, std::string& fingerprint) const {
    std::string bytes;
    std::lock_guard<std::mutex> lock(fileMutex());
    if (platform::readWholeFile(path_, bytes) != platform::ReadResult::Ok)
        return false;
    const std::string key = serverKey(host, port);
    for (const Line& line : parse(bytes))
        if (line.key == key) {
            fingerprint = line.fingerprint;
            return true;
        }
    return false;
}

std::string KnownCertificates::find(const std::string& host, int port) const {
    std::string fingerprint;
    findLine(host, port, fingerprint);
    return fingerprint;
}

bool KnownCertificates::knows(const std::string& host, int port) const {
    std::string fingerprint;
    return findLine(host, port, fingerprint);
}

bool KnownCertificates::remember(const std::string& host, int port, const std::string& fingerprint) const {
    return fitsOnOneLine(fingerprint) && write(host, port, fingerprint, false);
}

bool KnownCertificates::rememberVerified(const std::string& host, int port) const {
    return write(host, port, {}, true);
}

// Sets the server's line (or, with keepExisting, adds it only when there
// is none) and writes the file anew when anything changed.
bool KnownCertificates::write(const std::string& host, int port, const std::string& fingerprint,
                              bool keepExisting) const {
    if (!fitsOnOneLine(host))
        return false;
    std::lock_guard<std::mutex> lock(fileMutex());
    std::string bytes;
    if (platform::readWholeFile(path_, bytes) == platform::ReadResult::Failed)
        return false;
    const std::string key = serverKey(host, port);
    std::vector<Line> lines = parse(bytes);
    bool found = false;
    for (Line& line : lines)
        if (line.key == key) {
            if (keepExisting)
                return true;
            line.fingerprint = fingerprint;
            found = true;
        }
    if (!found)
        lines.push_back({key, fingerprint});
    std::string text;
    for (const Line& line : lines)
        text += line.fingerprint.empty() ? line.key + "\n" : line.key + " " + line.fingerprint + "\n";
    return platform::replaceFileContents(path_, text, 0600);
}

} // namespace ftp
