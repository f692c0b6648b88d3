// Arbitrary shell-link (.lnk) bytes.
#include "fuzz/FuzzTargets.h"
#include "ftp/ShortcutTarget.h"

namespace fuzz {

void shellLinkInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string target = shellLinkTarget(bytes);
    FUZZ_CHECK(target.size() < bytes.size() || target.empty());
    FUZZ_CHECK(target.find('\0') == std::string::npos);
}

} // namespace fuzz
