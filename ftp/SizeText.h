#pragma once
#include <cstdint>
#include <string>

// A size in bytes as the remote list shows it in KB: divided by 1024,
// rounded to 3 decimal places (halves away from zero), written with at most
// 13 significant digits in the shortest form. 512 gives "0.5", 1000 gives
// "0.977", 1048576 gives "1024". Sizes are 64-bit: large files are not cut.
std::string sizeTextKb(int64_t bytes);

// Reads the leading decimal number of a size text (0 when there is none).
double leadingNumber(const std::string& text);
