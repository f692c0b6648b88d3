#pragma once
// File names as the file system holds them (any bytes) and as the controls
// show them (UTF-8).
#include <string>

// The name as UTF-8 text: valid UTF-8 is kept, every byte that is not part
// of a valid sequence is shown as \xNN, so different names stay different.
std::string displayName(const std::string& bytes);
