#include "ftp/ResumeRecords.h"

#include "ftp/PartialFile.h"
#include "platform/FileContents.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ftp {

namespace {

constexpr const char* kHeader = "# corvane resume records, format 1";
constexpr std::size_t kFieldCount = 9;
// Far more than kMaxResumeRecords lines of long paths; a larger file is
// read only this far.
constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;
// Another process or thread holds the lock only while it rewrites the small
// file; one that holds it longer is not waited for (the resume is then
// skipped, never wrong).
constexpr int kLockWaitMs = 2000;
constexpr int kLockRetryMs = 10;

std::string encodeField(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool decodeField(const std::string& field, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        const int high = i + 2 < field.size() ? hexValue(field[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(field[i + 2]) : -1;
        if (low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// A decimal number of at most 19 digits, nothing else.
bool readNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool parseLine(const std::string& line, ResumeRecord& record) {
    const std::vector<std::string> fields = splitTabs(line);
    if (fields.size() != kFieldCount)
        return false;
    uint64_t size = 0, started = 0;
    std::string time;
    bool ok = decodeField(fields[0], record.partialPath) && readNumber(fields[1], record.device) &&
              readNumber(fields[2], record.inode) && decodeField(fields[3], record.server) &&
              decodeField(fields[4], record.remotePath) && decodeField(fields[5], record.targetPath) &&
              readNumber(fields[6], size) && decodeField(fields[7], time) && readNumber(fields[8], started);
    if (!ok || record.partialPath.empty() || record.targetPath.empty() || record.remotePath.empty() ||
        size > static_cast<uint64_t>(INT64_MAX) || started > static_cast<uint64_t>(INT64_MAX))
        return false;
    record.remoteSize = static_cast<int64_t>(size);
    record.remoteTime = time == "-" ? std::string() : time;
    record.started = static_cast<int64_t>(started);
    return true;
}

bool sameDownload(const ResumeRecord& record, const std::string& server, const std::string& remotePath,
                  const std::string& targetPath) {
    return record.server == server && record.remotePath == remotePath && record.targetPath == targetPath;
}

// An exclusive lock on the folder (flock on its descriptor), held while the
// file is read and rewritten. Separate opens exclude each other, so this
// covers other threads as well as other processes.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) {
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0)
            return;
        for (int waited = 0; waited <= kLockWaitMs; waited += kLockRetryMs) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                locked_ = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(kLockRetryMs));
        }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);  // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

// The file's text up to the bound; empty when it is missing, not a regular
// file, or a link.
std::string readBounded(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[65536];
        while (text.size() < kMaxFileBytes) {
            ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, kMaxFileBytes - text.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return text;
}

bool writeRecords(const std::string& path, const std::vector<ResumeRecord>& records) {
    if (records.empty())
        return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    return platform::replaceFileContents(path, resumeFileText(records), 0600);
}

// Drops the oldest records beyond the cap, with their partial files; the
// last one (just added) stays.
void dropOldest(std::vector<ResumeRecord>& records) {
    while (records.size() > kMaxResumeRecords) {
        auto oldest = std::min_element(records.begin(), records.end() - 1,
                                       [](const ResumeRecord& a, const ResumeRecord& b) { return a.started < b.started; });
        removeIfSameFile(oldest->partialPath, static_cast<dev_t>(oldest->device), static_cast<ino_t>(oldest->inode));
        records.erase(oldest);
    }
}

} // namespace

std::string resumeFileText(const std::vector<ResumeRecord>& records) {
    std::string text = std::string(kHeader) + "\n";
    for (const ResumeRecord& r : records) {
        text += encodeField(r.partialPath) + '\t' + std::to_string(r.device) + '\t' + std::to_string(r.inode) + '\t' +
                encodeField(r.server) + '\t' + encodeField(r.remotePath) + '\t' + encodeField(r.targetPath) + '\t' +
                std::to_string(r.remoteSize < 0 ? 0 : r.remoteSize) + '\t' +
                (r.remoteTime.empty() ? std::string("-") : encodeField(r.remoteTime)) + '\t' +
                std::to_string(r.started < 0 ? 0 : r.started) + '\n';
    }
    return text;
}

std::vector<ResumeRecord> readResumeFileText(const std::string& text) {
    std::vector<ResumeRecord> records;
    std::size_t start = 0;
    while (start < text.size() && records.size() < kMaxResumeRecords) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break;  // a line cut off by the bound, or a file cut short
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ResumeRecord record;
        if (!line.empty() && line[0] != '#' && parseLine(line, record))
            records.push_back(std::move(record));
    }
    return records;
}

ResumeRecords::ResumeRecords(std::string folder) : folder_(std::move(folder)) {}

std::string ResumeRecords::filePath() const {
    if (folder_.empty())
        return {};
    return folder_ + (folder_.back() == '/' ? "" : "/") + kResumeFileName;
}

bool ResumeRecords::take(const std::string& server, const std::string& remotePath, const std::string& targetPath,
                         ResumeRecord& record) const {
    if (folder_.empty())
        return false;
    FolderLock lock(folder_);
    if (!lock.locked())
        return false;
    std::vector<ResumeRecord> records = readResumeFileText(readBounded(filePath()));
    auto found = std::find_if(records.begin(), records.end(), [&](const ResumeRecord& r) {
        return sameDownload(r, server, remotePath, targetPath);
    });
    if (found == records.end())
        return false;
    record = *found;
    records.erase(found);
    // A record that stays in the file would be taken again later: a
    // partial is continued only once its record is gone.
    return writeRecords(filePath(), records);
}

bool ResumeRecords::add(const ResumeRecord& record) const {
    if (folder_.empty() || record.partialPath.empty())
        return false;
    FolderLock lock(folder_);
    if (!lock.locked())
        return false;
    std::vector<ResumeRecord> records = readResumeFileText(readBounded(filePath()));
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [&](const ResumeRecord& r) {
                                     return sameDownload(r, record.server, record.remotePath, record.targetPath);
                                 }),
                  records.end());
    records.push_back(record);
    dropOldest(records);
    return writeRecords(filePath(), records);
}

std::vector<ResumeRecord> ResumeRecords::all() const {
    if (folder_.empty())
        return {};
    return readResumeFileText(readBounded(filePath()));
}

} // namespace ftp
