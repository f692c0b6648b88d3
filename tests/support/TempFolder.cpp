#include "tests/support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <stdlib.h>

namespace testsupport {

TempFolder::TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/corvane-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::permissions(path_, std::filesystem::perms(0755));
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Make everything writable again first, in case a test removed rights.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink())
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::file(const std::string& relative) const {
    return path_ + "/" + relative;
}

void TempFolder::write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path p = file(relative);
    std::filesystem::create_directories(p.parent_path());
    writeFileBytes(p.string(), bytes);
}

std::string TempFolder::read(const std::string& relative) const {
    return readFileBytes(file(relative));
}

void TempFolder::makeFolder(const std::string& relative) const {
    std::filesystem::create_directories(file(relative));
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace testsupport
