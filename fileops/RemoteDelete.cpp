// Deleting remote files and folders, folders with everything below them.
#include "fileops/RemoteDelete.h"

#include "app/AppState.h"
#include "app/Handlers.h"
#include "app/Log.h"
#include "app/LogBatch.h"
#include "app/WorkerThreads.h"
#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "ftp/EntryKind.h"
#include "ftp/FtpClientInstance.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"

#include <string>
#include <vector>

namespace {

constexpr const char* kDeletingText = "正在删除文件...";
constexpr int kDirectoryBit = 16;

struct Listed {
    std::string path;
    bool folder;
};

// The entries of one remote folder, with the types its listing gives.
// "." and ".." are never part of the walk.
std::vector<Listed> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::vector<int> attributes;
    ftpClient().listDirectory(remotePrefix(folder) + "*.*", -1, &names, &attributes);
    std::vector<Listed> entries;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == "." || names[i] == ".." || names[i].empty())
            continue;
        entries.push_back({remotePrefix(folder) + names[i], (attributes[i] & kDirectoryBit) != 0});
    }
    return entries;
}

// Deletes what the collection found, files before folders, children before
// parents. Returns false when anything could not be deleted.
bool deleteCollected(size_t folderCount, int& deleted) {
    AppState& app = appState();
    FtpClient& ftp = ftpClient();
    bool allGone = true;
    LogBatch log;
    for (size_t i = app.deleteFolders.size(); i-- > 0;) {
        const std::string& path = app.deleteFolders[i];
        const bool folder = i < folderCount;
        const bool ok = folder ? ftp.removeDirectory(path) : ftp.deleteFile(path);
        const char* what = folder ? "目录" : "文件";
        log.add("删除“" + path + "”" + what + (ok ? "成功" : "失败"));
        if (ok)
            ++deleted;
        else
            allGone = false;
    }
    return allGone;
}

} // namespace

size_t collectRemoteTree(const std::string& folder) {
    AppState& app = appState();
    std::vector<Listed> top = listFolder(folder);
    app.deleteFolders.push_back(folder);
    std::vector<std::string> subfolders;
    for (const Listed& e : top) {
        if (e.folder)
            subfolders.push_back(e.path);
        else
            app.deleteFiles.push_back(e.path);
    }
    // Each top subfolder is walked level by level.
    for (const std::string& sub : subfolders) {
        std::vector<std::string> level{sub};
        while (!level.empty() && !workersStopping()) {
            std::vector<std::string> next;
            for (const std::string& d : level) {
                for (const Listed& e : listFolder(d)) {
                    if (e.folder)
                        next.push_back(e.path);
                    else
                        app.deleteFiles.push_back(e.path);
                }
                app.deleteFolders.push_back(d);
            }
            level = std::move(next);
        }
    }
    const size_t folderCount = app.deleteFolders.size();
    app.deleteFolders.insert(app.deleteFolders.end(), app.deleteFiles.begin(), app.deleteFiles.end());
    return folderCount;
}

void deleteRemoteCommand() {
    MainWindow& w = mainWindow();
    if (w.远程文件框.currentSelection() < 0) {
        ui::messageBox("请选择欲删除的文件!");
        return;
    }
    if (w.状态条1.paneText(1) == kDeletingText)
        return;
    // Marked busy before the worker starts, so a second click at once finds
    // the batch running.
    w.状态条1.setPaneText(1, kDeletingText);
    startWorker(deleteRemoteBatch);
}

void deleteRemoteBatch() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    FtpClient& ftp = ftpClient();
    w.消息框.setText(std::string());
    w.状态条1.setPaneText(2, std::string());
    w.状态条1.setPaneText(1, kDeletingText);
    const std::vector<int> rows = w.远程文件框.selectedItems();
    int deleted = 0;
    for (auto it = rows.rbegin(); it != rows.rend() && !workersStopping(); ++it) {
        const int row = *it;
        const std::string name = w.远程文件框.itemText(row);
        const auto kind = static_cast<EntryKind>(w.远程文件框.itemValue(row));
        const std::string path = remotePrefix(w.FTP目录框.text()) + name;
        if (!isDirectoryName(path, true, kind)) {
            if (ftp.deleteFile(path)) {
                ++deleted;
                appendLog("删除“" + name + "”成功");
                w.远程文件框.deleteItem(row);
            } else {
                appendLog("删除“" + name + "”失败");
            }
            continue;
        }
        app.deleteFolders.clear();
        app.deleteFiles.clear();
        const size_t folderCount = collectRemoteTree(path);
        if (deleteCollected(folderCount, deleted))
            w.远程文件框.deleteItem(row);
    }
    w.状态条1.setPaneText(1, "删除文件：" + std::to_string(deleted) + "个");
}
