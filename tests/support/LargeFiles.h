#pragma once
// Big test files without holding them in memory.
#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// Writes size bytes of a reproducible pseudo-random pattern.
bool writePatternFile(const std::string& path, int64_t size, uint32_t seed = 1);
// The same bytes in memory: a file whose bytes were mixed, shifted or
// taken from another seed never passes for the original.
std::string patternBytes(std::size_t size, uint32_t seed = 1);
// A 64-bit FNV-1a hash of the file's bytes, read in chunks; 0 when the file
// cannot be read.
uint64_t fileHash(const std::string& path);

} // namespace testsupport
