#include "sftp/EntryAttributes.h"

#include <ctime>

namespace sftp {

namespace {

constexpr uint32_t kOwnerWrite = 0200;

RemoteTime utcTime(uint32_t seconds) {
    RemoteTime time;
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!::gmtime_r(&t, &parts))
        return time;
    time.year = parts.tm_year + 1900;
    time.month = parts.tm_mon + 1;
    time.day = parts.tm_mday;
    time.hour = parts.tm_hour;
    time.minute = parts.tm_min;
    time.second = parts.tm_sec;
    return time;
}

} // namespace

void describeEntry(const sftp_attributes_struct& attributes, RemoteEntry& entry) {
    entry.attributes = ftp::kAttrNormal;
    if (attributes.type == SSH_FILEXFER_TYPE_DIRECTORY)
        entry.attributes = ftp::kAttrDirectory;
    else if (attributes.type == SSH_FILEXFER_TYPE_SYMLINK)
        entry.attributes |= ftp::kAttrLink;
    if ((attributes.flags & SSH_FILEXFER_ATTR_PERMISSIONS) && !(attributes.permissions & kOwnerWrite))
        entry.attributes |= ftp::kAttrReadOnly;
    entry.size = (attributes.flags & SSH_FILEXFER_ATTR_SIZE) ? static_cast<int64_t>(attributes.size) : 0;
    entry.time = (attributes.flags & SSH_FILEXFER_ATTR_ACMODTIME) ? utcTime(attributes.mtime) : RemoteTime{};
}

} // namespace sftp
