#pragma once
// How the allocator treats memory the program gives back.
namespace platform {

// A transfer over SSH allocates and frees a buffer of up to a quarter of a
// megabyte for every packet. By default the allocator hands the freed top
// of its heap back to the system at once and faults fresh pages in for the
// next packet, which costs about as much time as the decryption. This keeps
// buffers of that size on the heap and a few megabytes of freed heap for
// reuse. Called once, first thing in main.
void keepFreedMemoryForReuse();

// After a very long list was freed the allocator keeps hundreds of
// megabytes for reuse; this hands what is free back to the system.
void returnFreedMemory();

} // namespace platform
