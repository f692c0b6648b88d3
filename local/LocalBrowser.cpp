// Filling the upload list from the local folder and moving between folders.
#include "local/LocalBrowser.h"

#include "app/controls/Dialogs.h"
#include "app/controls/Shell.h"
#include "app/forms/MainWindow.h"
#include "ftp/NameRules.h"
#include "local/ExtensionGrouping.h"
#include "local/LocalHistory.h"
#include "local/LocalIconCache.h"
#include "local/LocalList.h"
#include "local/LocalNames.h"
#include "local/ParentFolder.h"
#include "platform/LocalFiles.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kOpenVerb = 4;
constexpr int kFolderAttributeMask = 0x37;

struct FolderEntry {
    std::string name;
    EntryKind kind;
    int64_t size;
};

// Listed entries: folders and files, without dot-names, in search order.
std::vector<FolderEntry> listedEntries(const std::string& folder) {
    std::vector<FolderEntry> kept;
    for (const platform::LocalEntry& e : platform::listFolder(folder)) {
        if (!(e.attributes & (platform::kAttrDirectory | platform::kAttrArchive)))
            continue;
        if (e.name.empty() || e.name[0] == '.')
            continue;
        kept.push_back({e.name, (e.attributes & platform::kAttrDirectory) ? kKindDirectory : kKindFile, e.size});
    }
    return kept;
}

ui::ListRow localRow(const std::string& name, std::string sizeText, int icon) {
    std::string text = displayName(name);
    std::string raw = text == name ? std::string() : name;
    return {std::move(text), std::move(sizeText), icon, 0, std::move(raw)};
}

} // namespace

void listLocalDirectory() {
    const std::string folder = localFolderPath();
    std::vector<FolderEntry> entries = listedEntries(folder);
    ui::ListControl& list = mainWindow().上传文件框;
    list.deleteAllItems();
    // Folders first, in the reverse of the search order.
    std::vector<ui::ListRow> folders;
    std::vector<std::string> files;
    std::unordered_map<std::string, int64_t> sizes;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string path = folder + it->name;
        if (isDirectoryName(path, false, it->kind)) {
            folders.push_back(localRow(it->name, std::string(), localIconIndexFor(path, kKindDirectory)));
        } else {
            files.push_back(it->name);
            sizes[it->name] = it->size;
        }
    }
    std::vector<std::string> ordered(files.rbegin(), files.rend());
    groupByExtension(ordered);
    std::vector<ui::ListRow> fileRows;
    fileRows.reserve(ordered.size());
    for (const std::string& name : ordered)
        fileRows.push_back(localRow(name, std::to_string(sizes[name] / 1024), localIconIndexFor(folder + name, kKindFile)));
    // All rows in two calls and the columns sized once: a row at a time
    // made a folder of 10,000 files freeze the window for a third of a
    // second. A file whose name is listed already is left out, as adding
    // one file at a time does.
    list.appendRows(folders);
    list.appendNewRows(fileRows);
    fitLocalColumns();
}

void chooseLocalDirectory() {
    const std::string chosen = ui::folderDialog("选择本地目录");
    if (chosen.empty())
        return;
    showLocalFolder(chosen);
    listLocalDirectory();
    saveLocalHistory();
}

void goUpLocal() {
    const std::string parent = parentFolderText(localFolderText());
    if (parent.empty())
        return;
    showLocalFolder(parent);
    listLocalDirectory();
}

void openLocalItem() {
    const int selected = mainWindow().上传文件框.currentSelection();
    if (selected < 0)
        return;
    const std::string path = localItemPath(selected);
    const int attributes = platform::fileAttributes(path) & kFolderAttributeMask;
    if (attributes == platform::kAttrDirectory || attributes == (platform::kAttrDirectory | platform::kAttrReadOnly)) {
        showLocalFolder(path);
        listLocalDirectory();
        return;
    }
    ui::openDocument(kOpenVerb, path);
}

void localHistoryItemChosen() {
    listLocalDirectory();
    saveLocalHistory();
}

void localPathEntered() {
    listLocalDirectory();
}
