#pragma once
// One database in the engine's open list: its file, locks, descriptors and
// current record position.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serverbook/DbFile.h"
#include "serverbook/DbFormat.h"
#include "serverbook/FileLocks.h"

namespace serverbook {

// The header lock around a count read waits this long for another process.
constexpr int kCountLockRetryMs = 2000;
// find and purge move records through a buffer of this size (at least one record).
constexpr int64_t kBufferBytes = 163840;

struct OpenDatabase {
    std::string fullPath;
    std::string alias;
    dev_t device = 0;
    ino_t inode = 0;
    bool readOnly = false;
    bool exclusive = false;
    DbFile file;
    DbFile sideFile;
    std::unique_ptr<FileLocks> locks;
    std::vector<FieldDescriptor> fields;
    std::vector<std::string> foldedNames; // UTF-8, case folded, for lookups
    int32_t recordSize = 0;
    int64_t dataStart = 0;
    int64_t current = 0; // -1 before the first record, count after the last

    ~OpenDatabase();

    int64_t recordPosition(int64_t index) const { return dataStart + index * recordSize; }
    // Index of the field named so, ignoring case; -1 when there is none.
    int fieldIndex(const std::string& utf8Name) const;
    // Reads count and next serial under the header lock; 0 or an error code.
    int readCount(int32_t& count, int32_t& nextSerial);
    // The current record lies wholly inside the file.
    bool currentRecordInFile();
};

// Opens and checks the file at the full path; 0 or an error code.
int openDatabaseFile(const std::string& fullPath, bool readOnly, bool exclusive,
                     std::unique_ptr<OpenDatabase>& opened);

// Removes the marked records; 0 or an error code.
int purgeMarkedRecords(OpenDatabase& db);

} // namespace serverbook
