#pragma once
// The record-database engine: fixed-record files with a header, field
// descriptors and records that are marked deleted and purged later. The
// engine keeps a per-process list of open databases, one of them current;
// every operation records 0 or a negative code as the last error.
// Text crosses this interface as UTF-8 and is GB18030 on disk.
#include <functional>
#include <string>
#include <vector>

#include "serverbook/DbTypes.h"

namespace serverbook {

struct OpenDatabase;

// How other openers may share the file.
enum Sharing {
    kShareAny = 0,
    kShareDenyRead = 1,
    kShareDenyWrite = 2,
    kShareExclusive = 3,
};

// The record under test in find, read from the copy in memory.
class RecordView {
public:
    RecordView(const OpenDatabase& db, const char* record) : db_(db), record_(record) {}
    // The field's value as text; empty for a name the database lacks.
    std::string readField(const std::string& name) const;

private:
    const OpenDatabase& db_;
    const char* record_;
};

class RecordDatabase {
public:
    static bool create(const std::string& path, const std::vector<FieldDef>& fields);
    // Sharing other than exclusive is accepted but not enforced; exclusive
    // holds a whole-file lock while the database is open. Index files are
    // not supported: naming one fails.
    static bool open(const std::string& path, const std::string& alias = "", bool readOnly = false,
                     int sharing = kShareAny, const std::vector<std::string>& indexFiles = {});
    static void close();

    static void goFirst();
    static bool atEnd();
    static bool skip(int n = 1);
    static std::string readField(const std::string& name);
    static bool find(const std::function<bool(const RecordView&)>& condition);

    static bool append(const std::vector<FieldValue>& values);
    static bool modify(const std::vector<FieldValue>& values);
    static bool markDeleted();
    static bool purge();

    static int lastError();
    static std::string errorMessage(int code);

    // The current record position (-1 to count), or -1 without a database.
    static int currentRecord();
    // The record count as the header holds it, or -1 when it cannot be read.
    static int recordCount();
};

} // namespace serverbook
