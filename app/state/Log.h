#pragma once
#include <string>

// Appends the text and a line break at the end of the message log, so the
// log scrolls to the new line.
void appendLog(const std::string& text);
