#include "serverbook/RecordDatabase.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "serverbook/DbCreate.h"
#include "serverbook/DbErrors.h"
#include "serverbook/DbPath.h"
#include "serverbook/FieldCodec.h"
#include "serverbook/OpenDatabase.h"

namespace serverbook {
namespace {

struct Engine {
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<OpenDatabase>> open;
    OpenDatabase* current = nullptr;
    int lastError = kOk;
    // While find evaluates its condition, field reads come from this copy.
    const OpenDatabase* scanDatabase = nullptr;
    const char* scanRecord = nullptr;
};

// Never destroyed: objects with static lifetime may still close their
// database while the process exits.
Engine& engine() {
    static Engine* instance = new Engine;
    return *instance;
}

bool fail(int code) {
    engine().lastError = code;
    return false;
}

bool succeed() {
    engine().lastError = kOk;
    return true;
}

bool isSameFile(const OpenDatabase& db, const std::string& fullPath) {
    if (db.fullPath == fullPath)
        return true;
    struct stat st {};
    return ::stat(fullPath.c_str(), &st) == 0 && st.st_dev == db.device && st.st_ino == db.inode;
}

bool isOpenInProcess(const std::string& fullPath) {
    const auto& open = engine().open;
    return std::any_of(open.begin(), open.end(),
                       [&](const std::unique_ptr<OpenDatabase>& db) { return isSameFile(*db, fullPath); });
}

// Encodes the values over the record; 0 or -72. Values beyond the fields
// are ignored.
int encodeValues(const OpenDatabase& db, const std::vector<FieldValue>& values, char* record) {
    const size_t n = std::min(values.size(), db.fields.size());
    for (size_t i = 0; i < n; ++i) {
        if (const int rc = encodeValue(db.fields[i], values[i], record); rc != kOk)
            return rc;
    }
    return kOk;
}

// Clears the scan copy when find's condition returns.
class ScanScope {
public:
    ScanScope(const OpenDatabase& db, const char* record) {
        engine().scanDatabase = &db;
        engine().scanRecord = record;
    }
    ~ScanScope() {
        engine().scanDatabase = nullptr;
        engine().scanRecord = nullptr;
    }
    ScanScope(const ScanScope&) = delete;
    ScanScope& operator=(const ScanScope&) = delete;
};

std::string readFieldFromFile(OpenDatabase& db, const FieldDescriptor& field) {
    if (db.current < 0) {
        fail(kErrNoCurrentRecord);
        return {};
    }
    const int64_t position = db.recordPosition(db.current) + field.offset;
    const int64_t length = db.file.length();
    if (length < 0 || position >= length) {
        fail(kErrSeek);
        return {};
    }
    ByteLock lock(*db.locks, db.recordPosition(db.current));
    if (!lock.held()) {
        fail(kErrLockFailed);
        return {};
    }
    std::string bytes(static_cast<size_t>(field.size()), '\0');
    if (!db.file.readAt(position, bytes.data(), bytes.size())) {
        fail(kErrReadField);
        return {};
    }
    succeed();
    return decodeField(field, bytes.data());
}

// Reads the current record, lets the edit change it and writes it back.
// The edit returns 0 or an error code; bytes from `from` on are written.
template <typename Edit>
bool rewriteCurrentRecord(int from, Edit edit) {
    OpenDatabase* db = engine().current;
    if (!db)
        return fail(kErrNoCurrentDatabase);
    if (!db->currentRecordInFile())
        return fail(kErrNoCurrentRecord);
    if (db->readOnly)
        return fail(kErrAccessDenied);
    const int64_t position = db->recordPosition(db->current);
    ByteLock lock(*db->locks, position);
    if (!lock.held())
        return fail(kErrLockFailed);
    std::string record(static_cast<size_t>(db->recordSize), '\0');
    if (!db->file.readAt(position, record.data(), record.size()))
        return fail(kErrReadRecord);
    bool changed = true;
    if (const int rc = edit(record.data(), changed); rc != kOk)
        return fail(rc);
    if (changed && !db->file.writeAt(position + from, record.data() + from, record.size() - from))
        return fail(errorFromErrno(db->file.lastErrno()));
    return succeed();
}

} // namespace

std::string RecordView::readField(const std::string& name) const {
    const int index = db_.fieldIndex(name);
    if (index < 0)
        return {};
    const FieldDescriptor& field = db_.fields[static_cast<size_t>(index)];
    return decodeField(field, record_ + field.offset);
}

bool RecordDatabase::create(const std::string& path, const std::vector<FieldDef>& fields) {
    std::lock_guard guard(engine().mutex);
    if (path.empty())
        return fail(kErrFileNotFound);
    const std::string fullPath = fullPathOf(withDatabaseExtension(path));
    // Writing the file needs exclusive access, which our own open denies.
    if (isOpenInProcess(fullPath))
        return fail(kErrSharingViolation);
    const int rc = createDatabaseFile(fullPath, fields);
    return rc == kOk ? succeed() : fail(rc);
}

bool RecordDatabase::open(const std::string& path, const std::string& alias, bool readOnly, int sharing,
                          const std::vector<std::string>& indexFiles) {
    std::lock_guard guard(engine().mutex);
    if (path.empty())
        return fail(kErrFileNotFound);
    const std::string fullPath = fullPathOf(withDatabaseExtension(path));
    if (isOpenInProcess(fullPath))
        return fail(kErrAlreadyOpen);
    if (!indexFiles.empty())
        return fail(kErrUnknown);
    std::unique_ptr<OpenDatabase> opened;
    if (const int rc = openDatabaseFile(fullPath, readOnly, sharing == kShareExclusive, opened); rc != kOk)
        return fail(rc);
    opened->alias = alias;
    engine().current = opened.get();
    engine().open.push_back(std::move(opened));
    return succeed();
}

void RecordDatabase::close() {
    std::lock_guard guard(engine().mutex);
    Engine& e = engine();
    if (!e.current) {
        fail(kErrNoCurrentDatabase);
        return;
    }
    std::erase_if(e.open, [&](const std::unique_ptr<OpenDatabase>& db) { return db.get() == e.current; });
    e.current = nullptr;
    succeed();
}

void RecordDatabase::goFirst() {
    std::lock_guard guard(engine().mutex);
    if (!engine().current) {
        fail(kErrNoCurrentDatabase);
        return;
    }
    engine().current->current = 0;
    succeed();
}

bool RecordDatabase::atEnd() {
    std::lock_guard guard(engine().mutex);
    OpenDatabase* db = engine().current;
    if (!db) {
        fail(kErrNoCurrentDatabase);
        return true;
    }
    int32_t count = 0;
    int32_t nextSerial = 1;
    if (const int rc = db->readCount(count, nextSerial); rc != kOk) {
        fail(rc);
        return true;
    }
    succeed();
    return count <= 0 || db->current >= count;
}

bool RecordDatabase::skip(int n) {
    std::lock_guard guard(engine().mutex);
    OpenDatabase* db = engine().current;
    if (!db)
        return fail(kErrNoCurrentDatabase);
    if (n == 0)
        return succeed();
    int32_t count = 0;
    int32_t nextSerial = 1;
    if (const int rc = db->readCount(count, nextSerial); rc != kOk)
        return fail(rc);
    if (n > 0 && (count == 0 || db->current >= count))
        return fail(kErrAfterLast);
    if (n < 0 && (count == 0 || db->current < 0))
        return fail(kErrBeforeFirst);
    db->current = std::max<int64_t>(-1, std::min<int64_t>(count, db->current + n));
    return succeed();
}

std::string RecordDatabase::readField(const std::string& name) {
    std::lock_guard guard(engine().mutex);
    Engine& e = engine();
    OpenDatabase* db = e.current;
    if (!db) {
        fail(kErrNoCurrentDatabase);
        return {};
    }
    const int index = db->fieldIndex(name);
    if (index < 0) {
        fail(kErrReadField);
        return {};
    }
    const FieldDescriptor& field = db->fields[static_cast<size_t>(index)];
    if (e.scanRecord && e.scanDatabase == db) {
        succeed();
        return decodeField(field, e.scanRecord + field.offset);
    }
    return readFieldFromFile(*db, field);
}

bool RecordDatabase::find(const std::function<bool(const RecordView&)>& condition) {
    std::lock_guard guard(engine().mutex);
    OpenDatabase* db = engine().current;
    if (!db)
        return fail(kErrNoCurrentDatabase);
    ByteLock header(*db->locks, kCountOffset, kCountLockRetryMs);
    if (!header.held())
        return fail(kErrLockFailed);
    int32_t count = 0;
    int32_t nextSerial = 1;
    if (const int rc = db->readCount(count, nextSerial); rc != kOk)
        return fail(rc);
    // Records are read a buffer at a time under one lock over their first
    // bytes, then tested one by one on the copy.
    const int64_t chunkRecords = std::max<int64_t>(1, kBufferBytes / db->recordSize);
    int64_t index = std::max<int64_t>(db->current, 0);
    const int64_t bufferRecords = std::clamp<int64_t>(count - index, 0, chunkRecords);
    std::string buffer(static_cast<size_t>(bufferRecords * db->recordSize), '\0');
    while (index < count) {
        const int64_t records = std::min<int64_t>(chunkRecords, count - index);
        int64_t got = 0;
        {
            SpanLock lock(*db->locks, db->recordPosition(index), (records - 1) * db->recordSize + 1);
            if (!lock.held())
                return fail(kErrLockFailed);
            got = db->file.readSome(db->recordPosition(index), buffer.data(),
                                    static_cast<size_t>(records * db->recordSize));
        }
        const int64_t complete = std::max<int64_t>(got, 0) / db->recordSize;
        for (int64_t k = 0; k < complete; ++k) {
            const char* record = buffer.data() + k * db->recordSize;
            ScanScope scope(*db, record);
            if (condition && condition(RecordView(*db, record))) {
                db->current = index + k;
                return succeed();
            }
        }
        if (complete < records)
            return fail(kErrReadRecord);
        index += records;
    }
    succeed();
    return false;
}

bool RecordDatabase::append(const std::vector<FieldValue>& values) {
    std::lock_guard guard(engine().mutex);
    OpenDatabase* db = engine().current;
    if (!db)
        return fail(kErrNoCurrentDatabase);
    if (db->readOnly)
        return fail(kErrAccessDenied);
    ByteLock header(*db->locks, kCountOffset, kCountLockRetryMs);
    if (!header.held())
        return fail(kErrLockFailed);
    int32_t count = 0;
    int32_t serial = 1;
    if (const int rc = db->readCount(count, serial); rc != kOk)
        return fail(rc);
    // Neither counter may wrap: a negative serial would read as deleted.
    if (count == std::numeric_limits<int32_t>::max() || serial == std::numeric_limits<int32_t>::max())
        return fail(kErrUnknown);
    std::string record(static_cast<size_t>(db->recordSize), '\0');
    if (const int rc = encodeValues(*db, values, record.data()); rc != kOk)
        return fail(rc);
    writeInt32(record.data(), serial);
    const int64_t position = db->recordPosition(count);
    ByteLock lock(*db->locks, position);
    if (!lock.held())
        return fail(kErrLockFailed);
    if (!db->file.writeAt(position, record.data(), record.size()))
        return fail(errorFromErrno(db->file.lastErrno()));
    char counters[8];
    writeInt32(counters, count + 1);
    writeInt32(counters + 4, serial + 1);
    if (!db->file.writeAt(kCountOffset, counters, sizeof counters))
        return fail(errorFromErrno(db->file.lastErrno()));
    db->current = count;
    return succeed();
}

bool RecordDatabase::modify(const std::vector<FieldValue>& values) {
    std::lock_guard guard(engine().mutex);
    const OpenDatabase* db = engine().current;
    return rewriteCurrentRecord(4, [&](char* record, bool&) { return encodeValues(*db, values, record); });
}

bool RecordDatabase::markDeleted() {
    std::lock_guard guard(engine().mutex);
    return rewriteCurrentRecord(0, [](char* record, bool& changed) {
        const int32_t serial = readInt32(record);
        changed = serial > 0;
        if (changed)
            writeInt32(record, -serial);
        return kOk;
    });
}

bool RecordDatabase::purge() {
    std::lock_guard guard(engine().mutex);
    OpenDatabase* db = engine().current;
    if (!db)
        return fail(kErrNoCurrentDatabase);
    if (db->readOnly)
        return fail(kErrAccessDenied);
    if (const int rc = purgeMarkedRecords(*db); rc != kOk)
        return fail(rc);
    db->current = 0;
    return succeed();
}

int RecordDatabase::lastError() {
    std::lock_guard guard(engine().mutex);
    return engine().lastError;
}

std::string RecordDatabase::errorMessage(int code) {
    return serverbook::errorMessage(code);
}

int RecordDatabase::currentRecord() {
    std::lock_guard guard(engine().mutex);
    const OpenDatabase* db = engine().current;
    return db ? static_cast<int>(db->current) : -1;
}

int RecordDatabase::recordCount() {
    std::lock_guard guard(engine().mutex);
    OpenDatabase* db = engine().current;
    int32_t count = 0;
    int32_t nextSerial = 1;
    if (!db || db->readCount(count, nextSerial) != kOk)
        return -1;
    return count;
}

} // namespace serverbook
