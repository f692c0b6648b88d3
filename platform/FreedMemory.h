#pragma once
// Memory given back by the program is kept by the allocator for reuse; after
// a very long list was freed that is hundreds of megabytes. This hands what
// is free back to the system.
namespace platform {

void returnFreedMemory();

} // namespace platform
