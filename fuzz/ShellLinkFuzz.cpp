// Arbitrary shell-link (.lnk) bytes.
#include "fuzz/FuzzTargets.h"
#include "platform/ShortcutTarget.h"

namespace fuzz {

void shellLinkInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string target = shellLinkTarget(bytes);
    // Base path and suffix each lie inside the bytes; nothing forbids a
    // link from pointing both at the same string, so up to twice the input.
    FUZZ_CHECK(target.size() <= 2 * bytes.size());
    FUZZ_CHECK(target.find('\0') == std::string::npos);
}

} // namespace fuzz
