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

// Exit code of a run that asks for something this build cannot do (more
// than one transfer connection, before parallel transfers exist): the
// script shows the figure as "n/a (not built)", never as a time.
constexpr int kNotBuilt = 3;

inline int notBuilt(const char* program, const std::string& what) {
    std::fprintf(stderr, "%s: not built: %s\n", program, what.c_str());
    return kNotBuilt;
}

// Takes a leading "--connections N" off the arguments (argv[0] stays the
// program): how many connections a batch may use, 1 when not given, 0 when
// N is not a count from 1 to 10.
inline int takeConnections(int& argc, char**& argv) {
    if (argc < 3 || std::string(argv[1]) != "--connections")
        return 1;
    char* end = nullptr;
    long n = std::strtol(argv[2], &end, 10);
    argv[2] = argv[0];
    argv += 2;
    argc -= 2;
    return *end == '\0' && n >= 1 && n <= 10 ? static_cast<int>(n) : 0;
}

// Takes a leading flag off the arguments (argv[0] stays the program):
// whether it was there.
inline bool takeFlag(int& argc, char**& argv, const char* flag) {
    if (argc < 2 || std::string(argv[1]) != flag)
        return false;
    argv[1] = argv[0];
    ++argv;
    --argc;
    return true;
}

} // namespace bench
