#include "serverbook/OpenDatabase.h"

#include <algorithm>

#include "platform/TextCodec.h"
#include "serverbook/DbErrors.h"

namespace serverbook {

OpenDatabase::~OpenDatabase() {
    if (exclusive && locks)
        locks->unlockWhole();
}

int OpenDatabase::fieldIndex(const std::string& utf8Name) const {
    const std::string folded = platform::foldCase(utf8Name);
    const auto it = std::find(foldedNames.begin(), foldedNames.end(), folded);
    return it == foldedNames.end() ? -1 : static_cast<int>(it - foldedNames.begin());
}

int OpenDatabase::readCount(int32_t& count, int32_t& nextSerial) {
    ByteLock lock(*locks, kCountOffset, kCountLockRetryMs);
    if (!lock.held())
        return kErrLockFailed;
    char bytes[8];
    if (!file.readAt(kCountOffset, bytes, sizeof bytes))
        return kErrReadCount;
    count = std::max<int32_t>(0, readInt32(bytes));
    nextSerial = std::max<int32_t>(1, readInt32(bytes + 4));
    return kOk;
}

bool OpenDatabase::currentRecordInFile() {
    if (current < 0)
        return false;
    const int64_t length = file.length();
    return length >= 0 && recordPosition(current) + recordSize <= length;
}

} // namespace serverbook
