// Deleting the selected or all entries of the local list from the disk.
#include "fileops/LocalDelete.h"

#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "ftp/NameRules.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "transfer/TransferPaths.h"

#include <string>
#include <vector>

namespace {

bool deleteLocalEntry(const std::string& path) {
    if (platform::isSymlink(path))
        return platform::removeFile(path);
    if (isDirectoryName(path, false))
        return deleteLocalTree(path);
    return platform::removeFile(path);
}

// Walks the rows from the last to the first, so that removing a row never
// moves one still to be handled.
void deleteLocalRows(const std::vector<int>& rows) {
    MainWindow& w = mainWindow();
    appState().targetFolder.set(localFolderPath());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (deleteLocalEntry(localItemPath(*it)))
            w.上传文件框.deleteItem(*it);
    }
}

bool confirmed(const std::string& question) {
    return ui::messageBox(question, ui::kMbYesNo | ui::kMbIconQuestion, "询问：") == ui::kIdYes;
}

} // namespace

bool deleteLocalTree(const std::string& path) {
    size_t start = path.find_first_not_of(' ');
    if (start == std::string::npos)
        return false;
    std::string folder = path.substr(start);
    while (folder.size() > 1 && folder.back() == platform::kPathSeparator)
        folder.pop_back();
    if (folder == "/")
        return false;
    if (platform::isSymlink(folder))
        return platform::removeFile(folder);
    const std::string prefix = localPrefix(folder);
    for (const platform::LocalEntry& e : platform::listFolder(folder)) {
        if (e.name[0] == '.')
            continue;
        const std::string child = prefix + e.name;
        if (!platform::isSymlink(child) && (e.attributes & platform::kAttrDirectory))
            deleteLocalTree(child);
        else
            platform::removeFile(child);
    }
    return platform::removeEmptyFolder(folder);
}

void deleteLocalSelected() {
    MainWindow& w = mainWindow();
    const std::vector<int> rows = w.上传文件框.selectedItems();
    if (rows.empty()) {
        ui::messageBox("请选择欲删除的的项目!");
        return;
    }
    if (!confirmed("确定删除选中文件吗？"))
        return;
    deleteLocalRows(rows);
}

void deleteLocalAll() {
    if (!confirmed("确定删除所有文件吗？"))
        return;
    std::vector<int> rows;
    for (int i = 0; i < mainWindow().上传文件框.itemCount(); ++i)
        rows.push_back(i);
    deleteLocalRows(rows);
}
