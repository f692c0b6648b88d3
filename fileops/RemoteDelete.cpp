// Deleting remote files and folders, folders with everything below them.
#include "fileops/RemoteDelete.h"

#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/LogBatch.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/handlers/FtpClientInstance.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr const char* kDeletingText = "正在删除文件...";
// Deeper than this a server is taken to show the same folders again and
// again (a loop it does not show as links): such folders are not walked,
// only removed when empty.
constexpr int kMaxWalkDepth = 256;

// Unconfirmed: listed as a folder, but the server would not show it as a
// real directory nor as anything else.
enum class Found { File, Folder, Link, Unconfirmed };

struct Listed {
    std::string path;
    Found what;
};

Found whatIs(const RemoteEntry& entry) {
    if (entry.unconfirmedFolder)
        return Found::Unconfirmed;
    if (entry.isLink())
        return Found::Link;
    return entry.isDirectory() ? Found::Folder : Found::File;
}

// The entries of one remote folder. A folder counts as one only when the
// server shows it as a real directory: a link is removed as the link and
// never walked, so nothing outside the chosen folder is reached.
std::vector<Listed> listFolder(const std::string& folder) {
    std::vector<Listed> entries;
    for (const RemoteEntry& e : ftpClient().listEntries(folder, true).entries)
        entries.push_back({remotePrefix(folder) + e.name, whatIs(e)});
    return entries;
}

// What the selected rows of the remote list are, asked of the server: the
// rows only say what the listing claimed, and a link to a folder may have
// been listed as a folder.
std::unordered_map<std::string, Found> confirmedKinds(const std::string& directory) {
    std::unordered_map<std::string, Found> kinds;
    for (const RemoteEntry& e : ftpClient().listEntries(listedDirectory(directory), true).entries)
        kinds.emplace(e.name, whatIs(e));
    return kinds;
}

// The log line of one removed entry inside a folder.
std::string removedLine(const std::string& path, Found what, bool ok) {
    const char* kind = what == Found::Folder ? "目录" : what == Found::Link ? "链接" : "文件";
    return "删除“" + path + "”" + kind + (ok ? "成功" : "失败");
}

// A folder the server would not confirm: said in the log, never walked,
// and only removed when it is empty (a link is never removed as a folder).
void reportUnconfirmed(const std::string& path) {
    appendLog("确认“" + path + "”目录失败");
}

// Deletes what the collection found, files before folders, children before
// parents. Returns false when anything could not be deleted.
bool deleteCollected(const RemoteTree& tree, int& deleted) {
    AppState& app = appState();
    FtpClient& ftp = ftpClient();
    bool allGone = true;
    LogBatch log;
    for (size_t i = app.deleteFolders.size(); i-- > 0;) {
        const std::string& path = app.deleteFolders[i];
        const Found what = i < tree.folderCount ? Found::Folder : tree.links.count(path) ? Found::Link : Found::File;
        const bool ok = what == Found::Folder ? ftp.removeDirectory(path) : ftp.deleteFile(path);
        log.add(removedLine(path, what, ok));
        if (ok)
            ++deleted;
        else
            allGone = false;
    }
    return allGone;
}

// One selected row that is a file or a link: removed itself.
void deleteOneEntry(int row, const std::string& name, const std::string& path, int& deleted) {
    if (ftpClient().deleteFile(path)) {
        ++deleted;
        appendLog("删除“" + name + "”成功");
        mainWindow().远程文件框.deleteItem(row);
    } else {
        appendLog("删除“" + name + "”失败");
    }
}

} // namespace

RemoteTree collectRemoteTree(const std::string& folder) {
    AppState& app = appState();
    RemoteTree tree;
    std::unordered_set<std::string> unwalked;
    auto take = [&](const Listed& e, std::vector<std::string>& folders) {
        if (e.what == Found::Unconfirmed) {
            reportUnconfirmed(e.path);
            unwalked.insert(e.path);
        }
        if (e.what == Found::Folder || e.what == Found::Unconfirmed) {
            folders.push_back(e.path);
            return;
        }
        if (e.what == Found::Link)
            tree.links.insert(e.path);
        app.deleteFiles.push_back(e.path);
    };
    std::vector<std::string> subfolders;
    for (const Listed& e : listFolder(folder))
        take(e, subfolders);
    app.deleteFolders.push_back(folder);
    // Each top subfolder is walked level by level.
    for (const std::string& sub : subfolders) {
        std::vector<std::string> level{sub};
        for (int depth = 1; !level.empty() && !workersStopping(); ++depth) {
            std::vector<std::string> next;
            for (const std::string& d : level) {
                if (depth < kMaxWalkDepth && !unwalked.count(d))
                    for (const Listed& e : listFolder(d))
                        take(e, next);
                app.deleteFolders.push_back(d);
            }
            level = std::move(next);
        }
    }
    tree.folderCount = app.deleteFolders.size();
    app.deleteFolders.insert(app.deleteFolders.end(), app.deleteFiles.begin(), app.deleteFiles.end());
    return tree;
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
    w.消息框.setText(std::string());
    w.状态条1.setPaneText(2, std::string());
    w.状态条1.setPaneText(1, kDeletingText);
    const std::vector<int> rows = w.远程文件框.selectedItems();
    const std::string directory = w.FTP目录框.text();
    std::unordered_map<std::string, Found> confirmed;
    bool confirmedRead = false;
    int deleted = 0;
    for (auto it = rows.rbegin(); it != rows.rend() && !workersStopping(); ++it) {
        const int row = *it;
        const std::string name = w.远程文件框.itemText(row);
        const auto kind = static_cast<EntryKind>(w.远程文件框.itemValue(row));
        const std::string path = remotePrefix(directory) + name;
        if (kind == kKindLink || !isDirectoryName(path, true, kind)) {
            deleteOneEntry(row, name, path, deleted);
            continue;
        }
        // A folder row of an MLSD listing may be a link: asked again.
        Found what = Found::Folder;
        if (ftpClient().listsWithMlsd()) {
            if (!confirmedRead) {
                confirmed = confirmedKinds(directory);
                confirmedRead = true;
            }
            auto found = confirmed.find(name);
            what = found == confirmed.end() ? Found::File : found->second;
            if (what == Found::File || what == Found::Link) {
                deleteOneEntry(row, name, path, deleted);
                continue;
            }
        }
        app.deleteFolders.clear();
        app.deleteFiles.clear();
        RemoteTree tree;
        if (what == Found::Unconfirmed) {
            reportUnconfirmed(path);
            app.deleteFolders.push_back(path);
            tree.folderCount = 1;
        } else {
            tree = collectRemoteTree(path);
        }
        if (deleteCollected(tree, deleted))
            w.远程文件框.deleteItem(row);
    }
    w.状态条1.setPaneText(1, "删除文件：" + std::to_string(deleted) + "个");
}
