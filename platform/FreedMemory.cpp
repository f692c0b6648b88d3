#include "platform/FreedMemory.h"

#include <malloc.h>

namespace platform {

namespace {

// Above a packet buffer, so that these come from the heap, not from a
// mapping made and unmade each time.
constexpr int kMappedAllocationBytes = 1 << 20;
// What one connection keeps in flight (the SFTP window).
constexpr int kKeptFreeBytes = 8 << 20;

} // namespace

void keepFreedMemoryForReuse() {
#ifdef __GLIBC__
    ::mallopt(M_MMAP_THRESHOLD, kMappedAllocationBytes);
    ::mallopt(M_TOP_PAD, kKeptFreeBytes);
#endif
}

void returnFreedMemory() {
    ::malloc_trim(0);
}

} // namespace platform
