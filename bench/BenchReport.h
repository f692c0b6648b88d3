#pragma once
// What every bench program prints for one timed run, one line:
//   seconds=<wall time> hwm_kib=<peak resident memory> stall_ms=<longest UI gap or -1>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Peak resident memory of this process in KiB (VmHWM).
inline long peakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

inline int report(double seconds, double stallMs = -1) {
    std::printf("seconds=%.4f hwm_kib=%ld stall_ms=%.1f\n", seconds, peakRssKiB(), stallMs);
    std::fflush(stdout);
    return 0;
}

inline int fail(const char* program, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program, what.c_str());
    return 1;
}

} // namespace bench
