#pragma once
// An SFTP entry's attributes in the shape of FTP listings: attribute bits
// (kAttrDirectory, kAttrLink, kAttrReadOnly), size and time.
#include <libssh/sftp.h>

#include "ftp/RemoteEntry.h"

namespace sftp {

// Fills attributes, size and time of entry; the name is left alone. A
// link is kAttrLink and never a folder, whatever it points to. The time
// is the modification time in UTC.
void describeEntry(const sftp_attributes_struct& attributes, RemoteEntry& entry);

} // namespace sftp
