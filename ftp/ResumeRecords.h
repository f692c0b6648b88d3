#pragma once
// The partial files of broken-off downloads that are ours to continue.
//
// They are kept in one small file in a folder the caller chooses (the
// settings folder), readable by its owner only, replaced whole at every
// change (never half written). One line per partial, fields separated by
// tabs, each field with '%', tab, CR, LF and other control bytes written as
// %XX:
//
//   partial-path  device  inode  server  remote-path  target-path
//   remote-size  remote-time  started
//
// server is "host:port:user"; remote-path the server's own bytes; remote-
// time the text of the server's MDTM reply (over SFTP the modification
// time in seconds), "-" when it had none; started
// in seconds since 1970. The first line names the format. Lines that do not
// read are left out, and the file is read up to a bound, so a damaged file
// costs at most the resumes it held. At most kMaxResumeRecords are kept:
// adding one more drops the oldest, and its partial file with it (while it
// is still the file recorded).
//
// Several clients, threads or processes may share the folder: every change
// happens under a lock on the folder.
#include <cstdint>
#include <string>
#include <vector>

namespace ftp {

constexpr std::size_t kMaxResumeRecords = 64;

struct ResumeRecord {
    std::string partialPath;
    uint64_t device = 0;
    uint64_t inode = 0;
    std::string server;      // "host:port:user"
    std::string remotePath;  // wire bytes
    std::string targetPath;  // the local file the partial becomes
    int64_t remoteSize = -1;
    std::string remoteTime;  // the MDTM reply's text (SFTP: mtime in seconds); empty when the server had none
    int64_t started = 0;     // seconds since 1970, when the partial was begun
};

class ResumeRecords {
public:
    // folder: where the record file lives; empty turns every call into a
    // no-op that finds nothing.
    explicit ResumeRecords(std::string folder);

    // Takes the record of one download (the same server, remote path and
    // target) out of the file. False when there is none.
    bool take(const std::string& server, const std::string& remotePath, const std::string& targetPath,
              ResumeRecord& record) const;
    // Adds the record, replacing one of the same download. False when the
    // file could not be written: the partial is then not known as ours.
    bool add(const ResumeRecord& record) const;
    // Every record the file holds (for tests and diagnostics).
    std::vector<ResumeRecord> all() const;

    std::string filePath() const;

private:
    std::string folder_;
};

// The name of the record file inside its folder.
constexpr const char* kResumeFileName = "resume-records";

// The encoded file text of the records and back (lines that do not read
// are left out).
std::string resumeFileText(const std::vector<ResumeRecord>& records);
std::vector<ResumeRecord> readResumeFileText(const std::string& text);

} // namespace ftp
