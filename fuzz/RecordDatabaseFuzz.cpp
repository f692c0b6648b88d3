// An arbitrary database file (and side file): open read-only and
// read-write, then read every field of every record.
#include "fuzz/FuzzTargets.h"
#include "platform/TextCodec.h"
#include "serverbook/OpenDatabase.h"
#include "serverbook/RecordDatabase.h"

#include <string_view>

#include <unistd.h>

namespace fuzz {
namespace {

// Bytes after this marker are the side file of memo fields.
constexpr std::string_view kSideFileMarker = "@@EDT@@";
constexpr int kMaxRecordsRead = 200;

std::vector<std::string> fieldNames(const std::string& path) {
    std::unique_ptr<serverbook::OpenDatabase> db;
    std::vector<std::string> names;
    if (serverbook::openDatabaseFile(path, true, false, db) == 0)
        for (const serverbook::FieldDescriptor& field : db->fields)
            names.push_back(platform::gb18030ToUtf8(field.nameBytes));
    names.push_back("no such field");
    return names;
}

void readAll(const std::string& path, bool readOnly, const std::vector<std::string>& names) {
    using serverbook::RecordDatabase;
    if (!RecordDatabase::open(path, "", readOnly)) {
        FUZZ_CHECK(RecordDatabase::lastError() < 0);
        return;
    }
    const int count = RecordDatabase::recordCount();
    FUZZ_CHECK(count >= -1);
    RecordDatabase::goFirst();
    for (int i = 0; i < kMaxRecordsRead && !RecordDatabase::atEnd(); ++i) {
        for (const std::string& name : names)
            (void)RecordDatabase::readField(name);
        if (!RecordDatabase::skip())
            break;
    }
    RecordDatabase::goFirst();
    (void)RecordDatabase::find([&](const serverbook::RecordView& record) {
        return record.readField(names.front()) == "x";
    });
    RecordDatabase::close();
}

} // namespace

void recordDatabaseInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t marker = bytes.find(kSideFileMarker);
    const std::string_view database = bytes.substr(0, marker);
    const std::string path = scratchPath("db.EDB");
    const std::string sidePath = scratchPath("db.EDT");
    if (!writeScratch(path, database.data(), database.size()))
        return;
    ::unlink(sidePath.c_str());
    if (marker != std::string_view::npos) {
        const std::string_view side = bytes.substr(marker + kSideFileMarker.size());
        writeScratch(sidePath, side.data(), side.size());
    }
    const std::vector<std::string> names = fieldNames(path);
    readAll(path, true, names);
    readAll(path, false, names);
    ::unlink(path.c_str());
    ::unlink(sidePath.c_str());
}

} // namespace fuzz
