// Deleting the selected or all entries of the local list from the disk.
#include "fileops/LocalDelete.h"

#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/WalkBounds.h"
#include "ftp/NameRules.h"
#include "platform/LocalFiles.h"
#include "transfer/BatchSnapshot.h"
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

// Walks the chosen rows from the last to the first. A row that went leaves
// the list while the list still shows the folder it was chosen in.
void deleteLocalRows(const BatchSnapshot& snapshot) {
    appState().targetFolder.set(localFolderPrefix(snapshot));
    for (auto it = snapshot.rows.rbegin(); it != snapshot.rows.rend(); ++it) {
        if (!deleteLocalEntry(localRowPath(snapshot, *it)))
            continue;
        const int now = localRowNow(snapshot, *it);
        if (now >= 0)
            mainWindow().上传文件框.deleteItem(now);
    }
}

bool confirmed(const std::string& question) {
    return ui::messageBox(question, ui::kMbYesNo | ui::kMbIconQuestion, "询问：") == ui::kIdYes;
}

struct Ancestor {
    platform::FileIdentity identity;
    std::string path;
};

// What a local folder tree holds, listed before anything is deleted.
struct LocalTreeWalk {
    std::vector<std::string> folders;  // parents before children
    std::vector<std::string> files;    // files and links
    std::vector<Ancestor> ancestors;
    WalkCount count;
    std::string stopReason;
};

// Lists the folder and everything below it; false when the walk stopped
// (stopReason says why). Names starting with "." are left alone; links are
// listed as files and never followed.
bool collectLocalTree(LocalTreeWalk& walk, const std::string& folder) {
    platform::FileIdentity identity;
    if (!platform::fileIdentity(folder, identity))
        return true;  // gone already; removing it fails on its own
    for (const Ancestor& ancestor : walk.ancestors) {
        if (ancestor.identity == identity) {
            walk.stopReason = repeatedFolderReason(folder, ancestor.path);
            return false;
        }
    }
    const std::vector<platform::LocalEntry> entries = platform::listFolder(folder);
    if (!walk.count.addFolder(walk.ancestors.size(), entries.size())) {
        walk.stopReason = walk.count.reason();
        return false;
    }
    walk.folders.push_back(folder);
    walk.ancestors.push_back({identity, folder});
    const std::string prefix = localPrefix(folder);
    for (const platform::LocalEntry& e : entries) {
        if (e.name[0] == '.')
            continue;
        const std::string child = prefix + e.name;
        if (!platform::isSymlink(child) && (e.attributes & platform::kAttrDirectory)) {
            if (!collectLocalTree(walk, child))
                return false;
        } else {
            walk.files.push_back(child);
        }
    }
    walk.ancestors.pop_back();
    return true;
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
    LocalTreeWalk walk;
    if (!collectLocalTree(walk, folder)) {
        appendLog("删除“" + folder + "”已停止：" + walk.stopReason + "，未删除任何内容");
        return false;
    }
    for (const std::string& file : walk.files)
        platform::removeFile(file);
    // Children before parents; the folder itself last.
    for (auto it = walk.folders.rbegin(); it != walk.folders.rend(); ++it)
        if (*it != folder)
            platform::removeEmptyFolder(*it);
    return platform::removeEmptyFolder(folder);
}

void deleteLocalSelected() {
    MainWindow& w = mainWindow();
    if (w.上传文件框.selectedItems().empty()) {
        ui::messageBox("请选择欲删除的的项目!");
        return;
    }
    // The rows and the folder as they are now, before the question lets
    // anything change them.
    const BatchSnapshot snapshot = selectedLocalSnapshot();
    if (!confirmed("确定删除选中文件吗？"))
        return;
    deleteLocalRows(snapshot);
}

void deleteLocalAll() {
    const BatchSnapshot snapshot = allLocalSnapshot();
    if (!confirmed("确定删除所有文件吗？"))
        return;
    deleteLocalRows(snapshot);
}
