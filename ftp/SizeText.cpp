#include "ftp/SizeText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string sizeTextKb(int64_t bytes) {
    double kb = static_cast<double>(bytes) / 1024.0;
    double magnitude = std::fabs(kb) + 1e-12;
    double rounded = std::floor(magnitude * 1000.0 + 0.5) / 1000.0;
    if (kb < 0)
        rounded = -rounded;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.13g", rounded);
    return buffer;
}

double leadingNumber(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value))
        return 0;
    return value;
}
