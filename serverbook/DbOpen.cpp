// Opening a database file: the header and descriptor checks and the repair
// of a file whose length does not match its record count.
#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/TextCodec.h"
#include "serverbook/DbErrors.h"
#include "serverbook/DbPath.h"
#include "serverbook/OpenDatabase.h"

namespace serverbook {
namespace {

constexpr int kSideHeaderSize = 32;

int checkedFileIdentity(OpenDatabase& db) {
    struct stat st {};
    if (::fstat(db.file.fd(), &st) != 0)
        return errorFromErrno(errno);
    if (!S_ISREG(st.st_mode))
        return kErrNotDatabase;
    db.device = st.st_dev;
    db.inode = st.st_ino;
    return kOk;
}

// Reads and checks the field count and descriptors; the file length bounds
// what is allocated, whatever the count claims.
int readDescriptors(OpenDatabase& db, const Header& header, int64_t fileLength) {
    char countBytes[4];
    if (!db.file.readAt(kFieldCountOffset, countBytes, sizeof countBytes))
        return kErrNotDatabase;
    const int32_t fieldCount = readInt32(countBytes);
    if (fieldCount <= 0)
        return kErrNotDatabase;
    db.dataStart = kDescriptorsOffset + static_cast<int64_t>(kDescriptorSize) * fieldCount;
    if (db.dataStart > fileLength)
        return kErrNotDatabase;
    std::string bytes(static_cast<size_t>(db.dataStart - kDescriptorsOffset), '\0');
    if (!db.file.readAt(kDescriptorsOffset, bytes.data(), bytes.size()))
        return kErrNotDatabase;
    int64_t valueBytes = 0;
    db.fields.resize(static_cast<size_t>(fieldCount));
    for (int32_t i = 0; i < fieldCount; ++i) {
        FieldDescriptor& field = db.fields[static_cast<size_t>(i)];
        const std::string_view descriptor(bytes.data() + static_cast<size_t>(i) * kDescriptorSize, kDescriptorSize);
        if (!decodeDescriptor(descriptor, field))
            return kErrNotDatabase;
        // A value reaching past its record would be read from the next one.
        if (static_cast<int64_t>(field.offset) + field.size() > header.recordSize)
            return kErrNotDatabase;
        valueBytes += field.size();
    }
    // The engine writes no padding; a larger record size would only make
    // record buffers grow without bound.
    if (header.recordSize > 4 + valueBytes)
        return kErrNotDatabase;
    db.recordSize = header.recordSize;
    return kOk;
}

// Lowers the count to the records present and cuts any partial or surplus
// tail (read-write only).
int repairLength(OpenDatabase& db, const Header& header, int64_t fileLength) {
    const int64_t present = fileLength <= db.dataStart ? 0 : (fileLength - db.dataStart) / db.recordSize;
    int64_t count = header.count;
    if (present < count) {
        if (db.readOnly)
            return kErrFileSize;
        char bytes[4];
        writeInt32(bytes, static_cast<int32_t>(present));
        if (!db.file.writeAt(kCountOffset, bytes, sizeof bytes))
            return errorFromErrno(db.file.lastErrno());
        count = present;
    }
    const int64_t end = db.recordPosition(count);
    if (!db.readOnly && fileLength != end && !db.file.truncate(end))
        return errorFromErrno(db.file.lastErrno());
    return kOk;
}

int checkSideFile(OpenDatabase& db, const Header& header) {
    const bool needed = std::any_of(db.fields.begin(), db.fields.end(),
                                    [](const FieldDescriptor& f) { return usesSideFile(f.type); });
    if (!needed)
        return kOk;
    if (!db.sideFile.open(sideFilePath(db.fullPath), (db.readOnly ? O_RDONLY : O_RDWR) | O_NONBLOCK))
        return kErrSideFileRead;
    char bytes[kSideHeaderSize];
    if (!db.sideFile.readAt(0, bytes, sizeof bytes))
        return kErrSideFileRead;
    if (std::string_view(bytes, 4) != "WEDT" || readInt32(bytes + 16) <= 0)
        return kErrNotSideFile;
    if (readInt32(bytes + 4) != header.version)
        return kErrSideFileVersion;
    return kOk;
}

int checkAndRepair(OpenDatabase& db) {
    char headerBytes[kHeaderSize];
    const int64_t got = db.file.readSome(0, headerBytes, sizeof headerBytes);
    Header header;
    if (got != kHeaderSize)
        return kErrNotDatabase;
    if (const int rc = decodeHeader(std::string_view(headerBytes, sizeof headerBytes), header); rc != kOk)
        return rc;
    const int64_t fileLength = db.file.length();
    if (fileLength < 0)
        return errorFromErrno(db.file.lastErrno());
    if (const int rc = readDescriptors(db, header, fileLength); rc != kOk)
        return rc;
    if (const int rc = repairLength(db, header, fileLength); rc != kOk)
        return rc;
    return checkSideFile(db, header);
}

void foldFieldNames(OpenDatabase& db) {
    db.foldedNames.clear();
    for (const FieldDescriptor& field : db.fields)
        db.foldedNames.push_back(platform::foldCase(platform::gb18030ToUtf8(field.nameBytes)));
}

} // namespace

int openDatabaseFile(const std::string& fullPath, bool readOnly, bool exclusive,
                     std::unique_ptr<OpenDatabase>& opened) {
    auto db = std::make_unique<OpenDatabase>();
    db->fullPath = fullPath;
    db->readOnly = readOnly;
    // O_NONBLOCK keeps a FIFO in place of the file from hanging the open.
    if (!db->file.open(fullPath, (readOnly ? O_RDONLY : O_RDWR) | O_NONBLOCK))
        return errorFromErrno(db->file.lastErrno());
    if (const int rc = checkedFileIdentity(*db); rc != kOk)
        return rc;
    db->locks = std::make_unique<FileLocks>(db->file.fd(), !readOnly);
    if (exclusive) {
        if (!db->locks->lockWhole())
            return kErrSharingViolation;
        db->exclusive = true;
    }
    {
        WholeFileLock lock(*db->locks);
        if (!lock.held())
            return kErrLockFailed;
        if (const int rc = checkAndRepair(*db); rc != kOk)
            return rc;
    }
    foldFieldNames(*db);
    db->current = 0;
    opened = std::move(db);
    return kOk;
}

} // namespace serverbook
