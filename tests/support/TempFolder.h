#pragma once
#include <string>

namespace testsupport {

// A fresh folder under the temporary folder, removed with its content when
// the object goes away.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string file(const std::string& relative) const;
    // Writes the bytes to the relative path, creating parent folders.
    void write(const std::string& relative, const std::string& bytes) const;
    std::string read(const std::string& relative) const;
    void makeFolder(const std::string& relative) const;

private:
    std::string path_;
};

// Whole file as bytes; empty when it cannot be read.
std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);

} // namespace testsupport
