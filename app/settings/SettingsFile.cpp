#include "app/settings/SettingsFile.h"

#include "platform/FileContents.h"
#include "platform/TextCodec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <vector>

namespace settings {
namespace {

// The file is parsed as raw bytes so that a write can keep every line it
// does not change byte for byte, whatever the file holds.
enum class LineKind { Blank, Comment, Section, Key };

struct Line {
    size_t begin = 0;      // first byte of the line
    size_t end = 0;        // end of the text, before CR LF or LF
    size_t next = 0;       // start of the following line
    LineKind kind = LineKind::Blank;
    std::string_view name; // section or key name, blanks trimmed
    std::string_view value;// key value, blanks trimmed
    size_t valueBegin = 0; // where the value starts (after "=" and blanks)
    bool hasEquals = false;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' ||
           c == '\x1a';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

size_t leadingBlanks(std::string_view s) {
    size_t n = 0;
    while (n < s.size() && isBlank(s[n]))
        ++n;
    return n;
}

// Length of the GB18030 character at s[i]; an invalid byte counts as one.
size_t gbCharLength(std::string_view s, size_t i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x81 || b == 0xFF || i + 1 >= s.size())
        return 1;
    auto b2 = static_cast<unsigned char>(s[i + 1]);
    if (b2 >= 0x30 && b2 <= 0x39)
        return i + 4 <= s.size() ? 4 : 1;
    if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE))
        return 2;
    return 1;
}

// Position of the last "]" that is a character of its own (the second byte
// of a GBK character may be 0x5D), or npos.
size_t lastClosingBracket(std::string_view s) {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < s.size(); i += gbCharLength(s, i))
        if (s[i] == ']')
            found = i;
    return found;
}

// The first bytes of s, at most max, without cutting a character in two.
std::string_view cutToCharBoundary(std::string_view s, size_t max) {
    size_t i = 0;
    while (i < s.size()) {
        size_t len = gbCharLength(s, i);
        if (i + len > max)
            break;
        i += len;
    }
    return s.substr(0, i);
}

// "..." or '...' loses its quotes, as the profile functions do on reading.
std::string_view stripQuotes(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') &&
        s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

void classifyLine(std::string_view bytes, Line& line) {
    std::string_view text = bytes.substr(line.begin, line.end - line.begin);
    std::string_view trimmed = trim(text);
    if (trimmed.empty()) {
        line.kind = LineKind::Blank;
        return;
    }
    if (trimmed.front() == ';') {
        line.kind = LineKind::Comment;
        return;
    }
    if (trimmed.front() == '[') {
        size_t close = lastClosingBracket(trimmed);
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = trim(trimmed.substr(1, close - 1));
            return;
        }
        // Without "]" the line is taken as a key, like the profile functions.
    }
    line.kind = LineKind::Key;
    // "=" (0x3D) never occurs inside a GB18030 character.
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        line.name = trimmed;
        line.valueBegin = line.end;
        return;
    }
    line.hasEquals = true;
    line.name = trim(text.substr(0, eq));
    std::string_view after = text.substr(eq + 1);
    line.valueBegin = line.begin + eq + 1 + leadingBlanks(after);
    line.value = trim(after);
}

std::vector<Line> parseLines(std::string_view bytes) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        Line line;
        line.begin = pos;
        size_t nl = bytes.find('\n', pos);
        line.next = nl == std::string_view::npos ? bytes.size() : nl + 1;
        line.end = nl == std::string_view::npos ? bytes.size() : nl;
        if (line.end > line.begin && bytes[line.end - 1] == '\r')
            --line.end;
        classifyLine(bytes, line);
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// Names compare without regard to case after decoding, so GBK letters such
// as full-width Latin ones fold as well.
std::string nameKey(std::string_view utf8) {
    return platform::foldCase(trim(utf8));
}

bool sameName(std::string_view rawName, const std::string& wantedKey) {
    return nameKey(platform::gb18030ToUtf8(rawName)) == wantedKey;
}

struct Entry {
    bool sectionFound = false;
    size_t sectionLine = 0;
    bool keyFound = false;
    size_t keyLine = 0;
    size_t lastKeyLine = 0; // last key line of the section (or its header)
};

// The first section of that name and the first key of that name in it.
Entry findEntry(const std::vector<Line>& lines, const std::string& section,
                const std::string& key) {
    const std::string sectionKey = nameKey(section);
    const std::string keyKey = nameKey(key);
    Entry entry;
    size_t i = 0;
    for (; i < lines.size(); ++i)
        if (lines[i].kind == LineKind::Section && sameName(lines[i].name, sectionKey))
            break;
    if (i == lines.size())
        return entry;
    entry.sectionFound = true;
    entry.sectionLine = i;
    entry.lastKeyLine = i;
    for (++i; i < lines.size() && lines[i].kind != LineKind::Section; ++i) {
        if (lines[i].kind != LineKind::Key)
            continue;
        entry.lastKeyLine = i;
        if (!entry.keyFound && sameName(lines[i].name, keyKey)) {
            entry.keyFound = true;
            entry.keyLine = i;
        }
    }
    return entry;
}

// A link is followed so that the file it points to is updated, not replaced
// by a plain file (people keep the file as a link into a folder of their
// own). A link that leads nowhere is neither written through nor replaced:
// false.
bool resolvedPath(const std::string& path, std::string& target) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) != nullptr) {
        target = buffer;
        return true;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return false;
    target = path;
    return true;
}

// Line end used for added lines: the one the file already uses.
std::string_view lineEndOf(std::string_view bytes) {
    size_t nl = bytes.find('\n');
    if (nl != std::string_view::npos && (nl == 0 || bytes[nl - 1] != '\r'))
        return "\n";
    return "\r\n";
}

bool containsAny(std::string_view s, std::string_view chars) {
    return s.find_first_of(chars) != std::string_view::npos;
}

const std::string_view kLineBreaks("\r\n\0", 3);

// Names and values that would read back differently, or break the lines
// around them, are refused.
bool canStore(const std::string& section, const std::string& key,
              const std::string& value) {
    std::string_view s = trim(section);
    std::string_view k = trim(key);
    if (s.empty() || k.empty())
        return false;
    if (containsAny(section, kLineBreaks) || containsAny(key, kLineBreaks) ||
        containsAny(value, kLineBreaks))
        return false;
    if (containsAny(s, "]") || containsAny(k, "="))
        return false;
    return k.front() != ';' && k.front() != '[';
}

std::string withNewValue(std::string_view bytes, const Line& line,
                         std::string_view value) {
    std::string out;
    out.reserve(bytes.size() + value.size() + 1);
    if (line.hasEquals) {
        out.append(bytes.substr(0, line.valueBegin));
    } else {
        size_t nameEnd = line.name.data() + line.name.size() - bytes.data();
        out.append(bytes.substr(0, nameEnd));
        out.push_back('=');
    }
    out.append(value);
    out.append(bytes.substr(line.end));
    return out;
}

// Inserts one line (given without line end) at byte offset at, starting it
// on a line of its own when at is the unterminated end of the file.
std::string withLineInserted(std::string_view bytes, size_t at,
                             std::string_view text) {
    const std::string_view eol = lineEndOf(bytes);
    std::string out;
    out.reserve(bytes.size() + text.size() + 4);
    out.append(bytes.substr(0, at));
    if (at == bytes.size() && !bytes.empty() && bytes.back() != '\n')
        out.append(eol);
    out.append(text);
    out.append(eol);
    out.append(bytes.substr(at));
    return out;
}

std::string withSectionAppended(std::string_view bytes, std::string_view header,
                                std::string_view keyLine) {
    std::string out = withLineInserted(bytes, bytes.size(), header);
    return withLineInserted(out, out.size(), keyLine);
}

std::string updatedFile(std::string_view bytes, const std::string& section,
                        const std::string& key, const std::string& value) {
    const std::vector<Line> lines = parseLines(bytes);
    const Entry entry = findEntry(lines, section, key);
    const std::string gbValue = platform::utf8ToGb18030(value);
    if (entry.keyFound)
        return withNewValue(bytes, lines[entry.keyLine], gbValue);
    const std::string keyLine =
        platform::utf8ToGb18030(std::string(trim(key))) + "=" + gbValue;
    if (entry.sectionFound)
        return withLineInserted(bytes, lines[entry.lastKeyLine].next, keyLine);
    const std::string header = "[" + platform::utf8ToGb18030(std::string(trim(section))) + "]";
    return withSectionAppended(bytes, header, keyLine);
}

// Writers in this process take turns, so two threads writing different keys
// do not lose one another's change.
std::mutex& writeMutex() {
    static std::mutex m;
    return m;
}

bool writeValueUnlocked(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
    std::string target;
    if (!resolvedPath(path, target))
        return false;
    std::string bytes;
    platform::ReadResult read = platform::readWholeFile(target, bytes);
    if (read == platform::ReadResult::Failed)
        return false;
    mode_t mode = S_IRUSR | S_IWUSR;
    if (read == platform::ReadResult::Ok) {
        struct stat st {};
        // A file we may not write stays as it is, as on Windows.
        if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            ::access(target.c_str(), W_OK) != 0)
            return false;
        mode = st.st_mode & 07777;
    }
    return platform::replaceFileContents(target, updatedFile(bytes, section, key, value), mode);
}

} // namespace

std::string readValue(const std::string& path, const std::string& section,
                      const std::string& key, const std::string& defaultValue) {
    if (path.empty() || section.empty() || key.empty())
        return {};
    try {
        std::string bytes;
        if (platform::readWholeFile(path, bytes) != platform::ReadResult::Ok)
            return defaultValue;
        const std::vector<Line> lines = parseLines(bytes);
        const Entry entry = findEntry(lines, section, key);
        if (!entry.keyFound)
            return defaultValue;
        std::string_view raw = stripQuotes(lines[entry.keyLine].value);
        return platform::gb18030ToUtf8(cutToCharBoundary(raw, kMaxValueBytes));
    } catch (...) {
        return defaultValue;
    }
}

bool writeValue(const std::string& path, const std::string& section,
                const std::string& key, const std::string& value) {
    if (path.empty() || !canStore(section, key, value))
        return false;
    try {
        std::lock_guard<std::mutex> lock(writeMutex());
        return writeValueUnlocked(path, section, key, value);
    } catch (...) {
        return false;
    }
}

} // namespace settings
