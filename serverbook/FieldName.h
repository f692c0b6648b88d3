#pragma once
// The rule for field names: the first character a half- or full-width letter
// or a Chinese character, the others letters, digits or Chinese characters.
#include <string_view>

namespace serverbook {

// True when the UTF-8 name is a valid field identifier (length not checked).
bool isFieldIdentifier(std::string_view utf8);

} // namespace serverbook
