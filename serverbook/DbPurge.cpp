// Purge: marked records leave the file, the later records move up chunk by
// chunk. Serials stay as they are and the next serial is not touched.
#include <algorithm>
#include <cstring>

#include "serverbook/DbErrors.h"
#include "serverbook/OpenDatabase.h"

namespace serverbook {
namespace {

// Moves the live records of the chunk to its front; returns how many remain.
int64_t compactChunk(char* chunk, int64_t records, int32_t recordSize) {
    int64_t kept = 0;
    for (int64_t i = 0; i < records; ++i) {
        const char* record = chunk + i * recordSize;
        if (readInt32(record) < 0)
            continue;
        if (kept != i)
            std::memmove(chunk + kept * recordSize, record, static_cast<size_t>(recordSize));
        ++kept;
    }
    return kept;
}

int writeNewCount(OpenDatabase& db, int64_t kept) {
    char bytes[4];
    writeInt32(bytes, static_cast<int32_t>(kept));
    if (!db.file.writeAt(kCountOffset, bytes, sizeof bytes))
        return errorFromErrno(db.file.lastErrno());
    if (!db.file.truncate(db.recordPosition(kept)))
        return errorFromErrno(db.file.lastErrno());
    return kOk;
}

} // namespace

int purgeMarkedRecords(OpenDatabase& db) {
    WholeFileLock lock(*db.locks);
    if (!lock.held())
        return kErrLockFailed;
    int32_t count = 0;
    int32_t nextSerial = 1;
    if (const int rc = db.readCount(count, nextSerial); rc != kOk)
        return rc;
    const int64_t chunkRecords = std::max<int64_t>(1, kBufferBytes / db.recordSize);
    std::string chunk(static_cast<size_t>(chunkRecords * db.recordSize), '\0');
    int64_t readIndex = 0;
    int64_t kept = 0;
    while (readIndex < count) {
        const int64_t records = std::min<int64_t>(chunkRecords, count - readIndex);
        const size_t bytes = static_cast<size_t>(records * db.recordSize);
        if (!db.file.readAt(db.recordPosition(readIndex), chunk.data(), bytes))
            return kErrReadRecord;
        const int64_t live = compactChunk(chunk.data(), records, db.recordSize);
        const bool anyDropped = kept + live < readIndex + records;
        if (anyDropped &&
            !db.file.writeAt(db.recordPosition(kept), chunk.data(), static_cast<size_t>(live * db.recordSize)))
            return errorFromErrno(db.file.lastErrno());
        kept += live;
        readIndex += records;
    }
    if (kept < count)
        return writeNewCount(db, kept);
    return kOk;
}

} // namespace serverbook
