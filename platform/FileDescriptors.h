#pragma once
// Plain reads and writes of local files by descriptor, for the engines'
// transfers.
#include <cstddef>
#include <string>

namespace platform {

// Writes every byte, going on after interruptions; false when the file
// takes no more (disk full, I/O error).
bool writeAll(int fd, const char* data, std::size_t size);

// Opens a file to upload only when it is a regular file, a link being
// followed to one; -1 otherwise. Nothing here can block: a FIFO, socket or
// device is refused by its stat before any open, and one put in the file's
// place in between is opened without waiting and refused by the check on
// what was opened. O_NONBLOCK changes nothing for reads of a regular file.
int openRegularFile(const std::string& path);

} // namespace platform
