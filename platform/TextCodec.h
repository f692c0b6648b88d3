#pragma once
// Conversion between the program's UTF-8 text and GB18030, the encoding of
// the settings file and the server book on disk (a superset of GBK, so files
// written on Chinese Windows read back unchanged). The one addition is the
// euro sign of Chinese Windows: the single byte 0x80 reads as "€", and "€"
// is written as 0x80.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// GB18030 bytes to UTF-8. Bytes that are not valid GB18030 become U+FFFD.
std::string gb18030ToUtf8(std::string_view bytes);

// GB18030 bytes to UTF-8 only when every byte belongs to a valid sequence;
// false (out unspecified) otherwise.
bool decodeGb18030Exactly(std::string_view bytes, std::string& out);

// UTF-8 to GB18030 bytes. Invalid UTF-8 bytes become '?'.
std::string utf8ToGb18030(std::string_view utf8);

// Number of bytes the text takes once encoded in GB18030.
std::size_t gb18030Length(std::string_view utf8);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUtf8(std::string_view bytes);

// The bytes as UTF-8 text: valid sequences are kept, every other byte is
// written as \xNN, so names of different bytes stay different.
std::string escapeInvalidUtf8(std::string_view bytes);

// Replaces full-width forms (U+FF01..U+FF5E and the ideographic space U+3000)
// with their single-byte equivalents.
std::string toHalfWidth(std::string_view utf8);

// ASCII-only lower case of the text; other bytes are kept.
std::string asciiLower(std::string_view text);
// True when the texts are the same but for the case of ASCII letters.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Lower case for comparisons without regard to case, Unicode aware for the
// letters QString knows nothing of here: ASCII, Latin-1, Greek, Cyrillic and
// the full-width Latin letters. Other characters are kept.
std::string foldCase(std::string_view utf8);

} // namespace platform
