// An arbitrary settings file: reads of the keys the program uses and of
// a key the input names, then a write that must read back.
#include "app/settings/SettingsFile.h"
#include "fuzz/FuzzTargets.h"
#include "platform/TextCodec.h"

#include <string_view>

#include <unistd.h>

namespace fuzz {

// The first line, when it holds a tab, names "section<TAB>key"; the rest
// is the file.
void settingsInput(const uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string section = "FTP", key = "IP";
    const std::size_t lineEnd = bytes.find('\n');
    if (lineEnd != std::string_view::npos) {
        const std::string_view first = bytes.substr(0, lineEnd);
        const std::size_t tab = first.find('\t');
        if (tab != std::string_view::npos) {
            section = std::string(first.substr(0, tab));
            key = std::string(first.substr(tab + 1));
            bytes.remove_prefix(lineEnd + 1);
        }
    }
    const std::string path = scratchPath("settings.ini");
    if (!writeScratch(path, bytes.data(), bytes.size()))
        return;
    const std::string value = settings::readValue(path, section, key, "default");
    FUZZ_CHECK(value.size() <= 4 * settings::kMaxValueBytes);
    (void)settings::readValue(path, "Settings", "LocalPath", "");
    // Names cross the interface as UTF-8; other bytes are no name the
    // program could ask for.
    const bool utf8Names = platform::isValidUtf8(section) && platform::isValidUtf8(key);
    if (settings::writeValue(path, section, key, "written value") && utf8Names) {
        FUZZ_CHECK(settings::readValue(path, section, key, "") == "written value");
    }
    ::unlink(path.c_str());
}

} // namespace fuzz
