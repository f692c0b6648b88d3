#include "tests/support/LargeFiles.h"

#include <cstdio>
#include <vector>

namespace testsupport {

namespace {
constexpr std::size_t kChunk = 1 << 20;

unsigned char nextPatternByte(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<unsigned char>(state);
}
} // namespace

bool writePatternFile(const std::string& path, int64_t size, uint32_t seed) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::vector<unsigned char> chunk(kChunk);
    uint32_t state = seed ? seed : 1;
    bool ok = true;
    while (size > 0 && ok) {
        std::size_t n = size < static_cast<int64_t>(kChunk) ? static_cast<std::size_t>(size) : kChunk;
        for (std::size_t i = 0; i < n; ++i)
            chunk[i] = nextPatternByte(state);
        ok = std::fwrite(chunk.data(), 1, n, file) == n;
        size -= static_cast<int64_t>(n);
    }
    return std::fclose(file) == 0 && ok;
}

std::string patternBytes(std::size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed ? seed : 1;
    for (char& c : bytes)
        c = static_cast<char>(nextPatternByte(state));
    return bytes;
}

uint64_t fileHash(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return 0;
    std::vector<unsigned char> chunk(kChunk);
    uint64_t hash = 14695981039346656037ull;
    std::size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0)
        for (std::size_t i = 0; i < n; ++i) {
            hash ^= chunk[i];
            hash *= 1099511628211ull;
        }
    std::fclose(file);
    return hash;
}

} // namespace testsupport
