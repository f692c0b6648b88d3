// Deleting remote files and folders, folders with everything below them.
#include "fileops/RemoteDelete.h"

#include "app/controls/Dialogs.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/LogBatch.h"
#include "app/state/WalkBounds.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "transfer/BatchConnections.h"
#include "transfer/BatchRetry.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr const char* kDeletingText = "正在删除文件...";

// Unconfirmed: listed as a folder, but the server would not show it as a
// real directory nor as anything else.
enum class Found { File, Folder, Link, Unconfirmed };

struct Listed {
    RemoteName path;
    std::string name;
    Found what;
};

Found whatIs(const RemoteEntry& entry) {
    if (entry.unconfirmedFolder)
        return Found::Unconfirmed;
    if (entry.isLink())
        return Found::Link;
    return entry.isDirectory() ? Found::Folder : Found::File;
}

// What tells a folder's listing from another's: its entries in order.
uint64_t listingIdentity(const DirectoryListing& listing) {
    std::hash<std::string> hash;
    uint64_t identity = listing.entries.size();
    for (const RemoteEntry& e : listing.entries) {
        const std::string facts = e.wire() + '\0' + std::to_string(e.attributes) + '\0' + std::to_string(e.size) +
                                  '\0' + std::to_string(e.time.year) + '-' + std::to_string(e.time.month) + '-' +
                                  std::to_string(e.time.day) + ' ' + std::to_string(e.time.hour) + ':' +
                                  std::to_string(e.time.minute) + ':' + std::to_string(e.time.second);
        identity = identity * 1000003u ^ hash(facts);
    }
    return identity;
}

// The entries of one remote folder. A folder counts as one only when the
// server shows it as a real directory: a link is removed as the link and
// never walked, so nothing outside the chosen folder is reached.
std::vector<Listed> listedEntries(const RemoteName& folder, const DirectoryListing& listing) {
    std::vector<Listed> entries;
    const std::string prefix = remotePrefix(folder.path);
    const std::string wirePrefix = remotePrefix(folder.wire);
    for (const RemoteEntry& e : listing.entries) {
        // The bytes go down the tree from the chosen folder's.
        RemoteName path = folder.wire.empty() ? RemoteName(prefix + e.name)
                                              : RemoteName(prefix + e.name, wirePrefix + e.wire());
        entries.push_back({std::move(path), e.name, whatIs(e)});
    }
    return entries;
}

// A listing of the delete, made again with the batch's retries when the
// connection drops meanwhile.
DirectoryListing listForDelete(const RemoteName& folder, BatchRetries& retries) {
    DirectoryListing listing;
    retries.run("读取目录“" + folder.path + "”", [&](int) {
        listing = retries.session().listEntries(folder, true);
        return listing.complete;
    });
    return listing;
}

// What the chosen rows of the remote list are, asked of the server: the
// rows only say what the listing claimed, and a link to a folder may have
// been listed as a folder.
std::unordered_map<std::string, Found> confirmedKinds(const RemoteName& directory,
                                                      BatchRetries& retries) {
    std::unordered_map<std::string, Found> kinds;
    const RemoteName listed(listedDirectory(directory.path), directory.wire);
    for (const RemoteEntry& e : listForDelete(listed, retries).entries)
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

// Log lines of a delete's connections, gathered into one LogBatch.
class SharedLog {
public:
    void add(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.add(line);
    }

private:
    std::mutex mutex_;
    LogBatch log_;
};

// Deletes what the collection found, files before folders, children before
// parents: the files over the batch's connections, then the folders one by
// one. Returns false when anything could not be deleted.
bool deleteCollected(const RemoteTree& tree, BatchConnections& connections, std::atomic<int>& deleted) {
    AppState& app = appState();
    std::atomic<bool> allGone{true};
    SharedLog log;
    const auto removeEntry = [&](std::size_t i, BatchRetries& retries) {
        const RemoteName& path = app.deleteFolders[i];
        const Found what =
            i < tree.folderCount ? Found::Folder : tree.links.count(path.path) ? Found::Link : Found::File;
        RemoteSession& session = retries.session();
        const bool ok = retries.run(
            "删除“" + path.path + "”",
            [&](int) { return what == Found::Folder ? session.removeDirectory(path) : session.deleteFile(path); },
            [&](const std::string& line) { log.add(line); });
        log.add(removedLine(path.path, what, ok));
        if (ok)
            ++deleted;
        else
            allGone = false;
    };
    // The files from the last one collected back, as one connection would.
    const std::size_t files = app.deleteFolders.size() - tree.folderCount;
    connections.run(files, [&](std::size_t j, BatchRetries& retries) {
        removeEntry(app.deleteFolders.size() - 1 - j, retries);
    });
    connections.runOne([&](BatchRetries& retries) {
        for (std::size_t i = tree.folderCount; i-- > 0 && !connections.stopRequested();)
            removeEntry(i, retries);
    });
    return allGone;
}

// The row of a chosen entry that is gone leaves the list, while the list
// still shows the folder it was chosen in.
void removeRow(const BatchSnapshot& snapshot, const ChosenRow& row) {
    ui::runOnUiThread([&] {
        const int now = remoteRowNow(snapshot, row);
        if (now >= 0)
            mainWindow().远程文件框.deleteItem(now);
    });
}

// One chosen row that is a file or a link: removed itself.
void deleteOneEntry(const BatchSnapshot& snapshot, const ChosenRow& row, BatchRetries& retries,
                    std::atomic<int>& deleted) {
    if (retries.run("删除“" + row.name + "”", [&](int) { return retries.session().deleteFile(row.remote); })) {
        ++deleted;
        appendLog("删除“" + row.name + "”成功");
        removeRow(snapshot, row);
    } else {
        appendLog("删除“" + row.name + "”失败");
    }
}

// A folder of the walk: where it is, and which listed folder holds it.
struct WalkFolder {
    RemoteName path;
    std::string name;
    std::size_t parent;  // index into WalkState::listed
    std::size_t depth;
    bool walked = true;  // false: removed only if empty, never listed
};

// A folder the walk listed, for the check of its descendants.
struct ListedFolder {
    std::string name;
    uint64_t identity;
    std::size_t parent;
    std::string path;
};

constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

struct WalkState {
    BatchRetries* retries = nullptr;  // the batch's, for the listings
    RemoteTree tree;
    WalkCount count;
    std::vector<ListedFolder> listed;
};

// Lists the folder of the walk into entries; false when the walk must stop
// (tree.stopReason says why). listedIndex is the folder's own index then.
bool listWalkFolder(WalkState& walk, const WalkFolder& folder, std::vector<Listed>& entries,
                    std::size_t& listedIndex) {
    const DirectoryListing listing = listForDelete(folder.path, *walk.retries);
    if (!walk.count.addFolder(folder.depth, listing.entries.size())) {
        walk.tree.stopReason = walk.count.reason();
        return false;
    }
    const uint64_t identity = listingIdentity(listing);
    for (std::size_t up = folder.parent; up != kNoParent; up = walk.listed[up].parent) {
        const ListedFolder& ancestor = walk.listed[up];
        if (ancestor.name == folder.name && ancestor.identity == identity) {
            walk.tree.stopReason = repeatedFolderReason(folder.path.path, ancestor.path);
            return false;
        }
    }
    walk.listed.push_back({folder.name, identity, folder.parent, folder.path.path});
    listedIndex = walk.listed.size() - 1;
    entries = listedEntries(folder.path, listing);
    return true;
}

std::string lastName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

RemoteTree collectRemoteTree(const RemoteName& folder, BatchRetries& retries) {
    AppState& app = appState();
    WalkState walk;
    walk.retries = &retries;
    auto take = [&](const Listed& e, std::size_t parent, std::size_t depth, std::vector<WalkFolder>& folders) {
        if (e.what == Found::Unconfirmed)
            reportUnconfirmed(e.path.path);
        if (e.what == Found::Folder || e.what == Found::Unconfirmed) {
            folders.push_back({e.path, e.name, parent, depth, e.what == Found::Folder});
            return;
        }
        if (e.what == Found::Link)
            walk.tree.links.insert(e.path.path);
        app.deleteFiles.push_back(e.path);
    };
    std::vector<WalkFolder> subfolders;
    std::vector<Listed> entries;
    std::size_t top = 0;
    if (!listWalkFolder(walk, {folder, lastName(listedDirectory(folder.path)), kNoParent, 0}, entries, top))
        return walk.tree;
    for (const Listed& e : entries)
        take(e, top, 1, subfolders);
    app.deleteFolders.push_back(folder);
    // Each top subfolder is walked level by level.
    for (const WalkFolder& sub : subfolders) {
        std::vector<WalkFolder> level{sub};
        while (!level.empty() && !workersStopping()) {
            std::vector<WalkFolder> next;
            for (const WalkFolder& d : level) {
                if (!d.walked) {
                    app.deleteFolders.push_back(d.path);
                    continue;
                }
                std::size_t index = 0;
                if (!listWalkFolder(walk, d, entries, index))
                    return walk.tree;
                for (const Listed& e : entries)
                    take(e, index, d.depth + 1, next);
                app.deleteFolders.push_back(d.path);
            }
            level = std::move(next);
        }
    }
    walk.tree.folderCount = app.deleteFolders.size();
    app.deleteFolders.insert(app.deleteFolders.end(), app.deleteFiles.begin(), app.deleteFiles.end());
    return walk.tree;
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
    startWorker([snapshot = selectedRemoteSnapshot()] { deleteRemoteBatch(snapshot); });
}

void deleteRemoteBatch(const BatchSnapshot& snapshot) {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    w.消息框.setText(std::string());
    w.状态条1.setPaneText(2, std::string());
    w.状态条1.setPaneText(1, kDeletingText);
    if (!connectionReadyForCommand(*snapshot.session)) {
        w.状态条1.setPaneText(1, "删除文件：0个");
        return;
    }
    BatchConnections connections(snapshot);
    // What each chosen row is. A folder row of a listing that may call links
    // folders (FTP's MLSD) is asked again, in one listing of the folder.
    std::vector<const ChosenRow*> single;
    std::vector<std::pair<const ChosenRow*, Found>> folders;
    std::unordered_map<std::string, Found> confirmed;
    bool confirmedRead = false;
    for (auto it = snapshot.rows.rbegin(); it != snapshot.rows.rend() && !workersStopping(); ++it) {
        const ChosenRow& row = *it;
        if (row.kind == kKindLink || !isDirectoryName(row.remote.path, true, row.kind)) {
            single.push_back(&row);
            continue;
        }
        Found what = Found::Folder;
        if (snapshot.session->listedFoldersMayBeLinks()) {
            if (!confirmedRead) {
                connections.runOne(
                    [&](BatchRetries& retries) { confirmed = confirmedKinds(snapshot.remoteFolder, retries); });
                confirmedRead = true;
            }
            auto found = confirmed.find(row.name);
            what = found == confirmed.end() ? Found::File : found->second;
        }
        if (what == Found::File || what == Found::Link)
            single.push_back(&row);
        else
            folders.emplace_back(&row, what);
    }
    std::atomic<int> deleted{0};
    connections.run(single.size(), [&](std::size_t i, BatchRetries& retries) {
        deleteOneEntry(snapshot, *single[i], retries, deleted);
    });
    for (const auto& chosen : folders) {
        const ChosenRow* row = chosen.first;
        const Found what = chosen.second;
        if (workersStopping())
            break;
        app.deleteFolders.clear();
        app.deleteFiles.clear();
        RemoteTree tree;
        if (what == Found::Unconfirmed) {
            reportUnconfirmed(row->remote.path);
            app.deleteFolders.push_back(row->remote);
            tree.folderCount = 1;
        } else {
            connections.runOne([&](BatchRetries& retries) { tree = collectRemoteTree(row->remote, retries); });
        }
        if (workersStopping())
            break;
        if (!tree.stopReason.empty()) {
            appendLog("删除“" + row->remote.path + "”已停止：" + tree.stopReason + "，未删除任何内容");
            continue;
        }
        if (deleteCollected(tree, connections, deleted))
            removeRow(snapshot, *row);
    }
    w.状态条1.setPaneText(1, "删除文件：" + std::to_string(deleted.load()) + "个");
}
