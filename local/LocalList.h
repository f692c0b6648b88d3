#pragma once
// The upload list 上传文件框 and the folder it shows. Callable from any
// thread (the download adds its files from a worker).
#include <chrono>
#include <string>
#include <utility>
#include <vector>

// Appends a file row for the name (file-system bytes) unless a row of that
// name is already listed (letter case ignored): icon by the name rules, size
// in whole KB cut toward zero. Then sizes the columns.
void addLocalEntry(const std::string& name, const std::string& localPath);

// Files a batch brings in, added to the local list together: every added
// row makes the list lay out all its rows again, which slowed a batch of
// small files down as the list grew. A file is added with the first one
// that comes at least an interval after the last addition, or when the
// batch is flushed or ends. May be used on the UI thread or one worker.
class LocalEntryBatch {
public:
    LocalEntryBatch() = default;
    // Files of the folder (as 本地目录框 shows it): they join the list only
    // while the list shows that folder, never another one the user opened
    // meanwhile.
    explicit LocalEntryBatch(std::string folder) : folder_(std::move(folder)), onlyInFolder_(true) {}
    ~LocalEntryBatch();
    LocalEntryBatch(const LocalEntryBatch&) = delete;
    LocalEntryBatch& operator=(const LocalEntryBatch&) = delete;

    // What addLocalEntry would add.
    void add(const std::string& name, const std::string& localPath);
    void flush();

private:
    std::string folder_;
    bool onlyInFolder_ = false;
    std::vector<std::pair<std::string, std::string>> pending_;
    std::chrono::steady_clock::time_point lastAdded_{};
};

// Sizes column 0 to its widest name; column 1 only when it is wider than
// its design width.
void fitLocalColumns();

// The folder 本地目录框 shows, as file-system bytes, with a trailing "/".
std::string localFolderPath();

// Folder path plus the exact name bytes of the row; empty for a bad index.
std::string localItemPath(int index);

// Shows the folder in 本地目录框. A path that is not UTF-8 shows with \xNN
// escapes; localFolderPath() still gives its bytes while the box shows it.
void showLocalFolder(const std::string& path);

// The folder 本地目录框 shows as file-system bytes, as typed (no "/" added).
std::string localFolderText();

// Appends a row for the name with the icon; the row keeps the exact bytes
// when the shown text cannot hold them. Returns the row index.
int appendLocalRow(const std::string& name, int icon);
