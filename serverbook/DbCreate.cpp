#include "serverbook/DbCreate.h"

#include <cstring>
#include <limits>
#include <set>

#include <fcntl.h>

#include "platform/TextCodec.h"
#include "serverbook/DbErrors.h"
#include "serverbook/DbFile.h"
#include "serverbook/DbFormat.h"
#include "serverbook/DbPath.h"
#include "serverbook/FieldName.h"
#include "serverbook/FileLocks.h"

namespace serverbook {
namespace {

constexpr int kSideBlockSize = 512;

int checkField(const FieldDef& def) {
    if (!platform::isValidUtf8(def.name) || !isFieldIdentifier(def.name) ||
        platform::gb18030Length(def.name) > static_cast<size_t>(kMaxFieldNameLength))
        return kErrBadFieldName;
    if (!isValidFieldType(def.type))
        return kErrBadFieldType;
    if (def.type == kTypeText && (def.width < 1 || def.width > kMaxTextWidth))
        return kErrBadFieldWidth;
    return kOk;
}

// Builds the descriptors from the definitions, up to the first empty name.
int buildDescriptors(const std::vector<FieldDef>& defs, std::vector<FieldDescriptor>& fields, int32_t& recordSize) {
    int64_t size = 4;
    std::set<std::string> folded;
    for (const FieldDef& def : defs) {
        if (def.name.empty())
            break;
        if (const int rc = checkField(def); rc != kOk)
            return rc;
        FieldDescriptor field;
        field.nameBytes = platform::utf8ToGb18030(def.name);
        field.type = def.type;
        field.width = def.type == kTypeText ? def.width : 0;
        field.offset = static_cast<int>(size);
        size += field.size();
        if (size > std::numeric_limits<int32_t>::max())
            return kErrBadFieldWidth;
        fields.push_back(field);
    }
    if (fields.empty())
        return kErrNoFields;
    for (const FieldDef& def : defs) {
        if (def.name.empty())
            break;
        if (!folded.insert(platform::foldCase(def.name)).second)
            return kErrDuplicateField;
    }
    recordSize = static_cast<int32_t>(size);
    return kOk;
}

bool writeSideFile(const std::string& path, double created) {
    DbFile file;
    if (!file.open(path, O_WRONLY | O_CREAT | O_TRUNC))
        return false;
    char block[kSideBlockSize] = {};
    std::memcpy(block, "WEDT", 4);
    writeInt32(block + 4, kFormatVersion);
    writeDouble(block + 8, created);
    writeInt32(block + 16, 1);
    return file.writeAt(0, block, sizeof block);
}

} // namespace

int createDatabaseFile(const std::string& path, const std::vector<FieldDef>& defs) {
    if (defs.empty())
        return kErrNoFields;
    Header header;
    std::vector<FieldDescriptor> fields;
    if (const int rc = buildDescriptors(defs, fields, header.recordSize); rc != kOk)
        return rc;
    header.created = oleDateNow();

    DbFile file;
    if (!file.open(path, O_WRONLY | O_CREAT | O_NONBLOCK))
        return errorFromErrno(file.lastErrno());
    // Exclusive access: another process working in the file holds a lock.
    FileLocks locks(file.fd(), true);
    WholeFileLock lock(locks);
    if (!lock.held())
        return kErrSharingViolation;
    if (!file.truncate(0))
        return errorFromErrno(file.lastErrno());
    const std::string bytes = encodeFileStart(header, fields);
    if (!file.writeAt(0, bytes.data(), bytes.size()))
        return kErrCreateFailed;

    for (const FieldDescriptor& field : fields) {
        if (usesSideFile(field.type))
            return writeSideFile(sideFilePath(path), header.created) ? kOk : kErrCreateSideFile;
    }
    return kOk;
}

} // namespace serverbook
