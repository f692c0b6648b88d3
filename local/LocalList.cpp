#include "local/LocalList.h"

#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "ftp/NameRules.h"
#include "local/LocalIconCache.h"
#include "local/LocalNames.h"
#include "platform/LocalFiles.h"

#include <mutex>

namespace {

constexpr int kSizeColumnDesignWidth = 80;
constexpr std::chrono::milliseconds kBatchInterval{25};

// The bytes behind the folder box's text when that text had to escape them.
struct ShownFolder {
    std::mutex lock;
    std::string text;
    std::string bytes;
};

ShownFolder& shownFolder() {
    static ShownFolder instance;
    return instance;
}

} // namespace

void showLocalFolder(const std::string& path) {
    const std::string text = displayName(path);
    {
        ShownFolder& shown = shownFolder();
        std::lock_guard<std::mutex> guard(shown.lock);
        shown.text = text;
        shown.bytes = path;
    }
    mainWindow().本地目录框.setText(text);
}

std::string localFolderText() {
    const std::string text = mainWindow().本地目录框.text();
    ShownFolder& shown = shownFolder();
    std::lock_guard<std::mutex> guard(shown.lock);
    return text == shown.text ? shown.bytes : text;
}

std::string localFolderPath() {
    std::string folder = localFolderText();
    if (folder.empty() || folder.back() != platform::kPathSeparator)
        folder += platform::kPathSeparator;
    return folder;
}

std::string localItemPath(int index) {
    ui::ListControl& list = mainWindow().上传文件框;
    if (index < 0 || index >= list.itemCount())
        return {};
    return localFolderPath() + list.itemRawText(index);
}

int appendLocalRow(const std::string& name, int icon) {
    ui::ListControl& list = mainWindow().上传文件框;
    const std::string text = displayName(name);
    int row = list.insertItem(-1, text, icon);
    if (row >= 0 && text != name)
        list.setItemRawText(row, name);
    return row;
}

namespace {

// The row of addLocalEntry without sizing the columns; UI thread only.
void appendLocalEntryRow(const std::string& name, const std::string& localPath) {
    ui::ListControl& list = mainWindow().上传文件框;
    if (list.findItem(displayName(name)) >= 0)
        return;
    int row = appendLocalRow(name, localIconIndexFor(localPath));
    if (row < 0)
        return;
    const long long bytes = platform::fileSize(localPath);
    list.setItemText(row, 1, std::to_string(bytes / 1024));
}

} // namespace

void addLocalEntry(const std::string& name, const std::string& localPath) {
    // One trip to the UI thread for the whole row instead of one per
    // control call: a download batch adds a row after every file.
    ui::runOnUiThread([&] {
        appendLocalEntryRow(name, localPath);
        fitLocalColumns();
    });
}

LocalEntryBatch::~LocalEntryBatch() {
    flush();
}

void LocalEntryBatch::add(const std::string& name, const std::string& localPath) {
    pending_.emplace_back(name, localPath);
    if (std::chrono::steady_clock::now() - lastAdded_ >= kBatchInterval)
        flush();
}

void LocalEntryBatch::flush() {
    if (!pending_.empty()) {
        ui::runOnUiThread([&] {
            if (onlyInFolder_ && localFolderText() != folder_)
                return;
            for (const auto& [name, localPath] : pending_)
                appendLocalEntryRow(name, localPath);
            fitLocalColumns();
        });
        pending_.clear();
    }
    lastAdded_ = std::chrono::steady_clock::now();
}

void fitLocalColumns() {
    ui::ListControl& list = mainWindow().上传文件框;
    list.setColumnWidth(0, -1);
    if (list.columnWidth(1) > kSizeColumnDesignWidth)
        list.setColumnWidth(1, -1);
}
