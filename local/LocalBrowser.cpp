// Filling the upload list from the local folder and moving between folders.
#include "app/Handlers.h"
#include "app/controls/Dialogs.h"
#include "app/controls/Shell.h"
#include "app/forms/MainWindow.h"
#include "ftp/NameRules.h"
#include "local/ExtensionGrouping.h"
#include "local/LocalHistory.h"
#include "local/LocalList.h"
#include "local/ParentFolder.h"
#include "platform/LocalFiles.h"

#include <string>
#include <vector>

namespace {

constexpr int kOpenVerb = 4;
constexpr int kFolderAttributeMask = 0x37;

struct FolderEntry {
    std::string name;
    EntryKind kind;
};

// Listed entries: folders and files, without dot-names, in search order.
std::vector<FolderEntry> listedEntries(const std::string& folder) {
    std::vector<FolderEntry> kept;
    for (const platform::LocalEntry& e : platform::listFolder(folder)) {
        if (!(e.attributes & (platform::kAttrDirectory | platform::kAttrArchive)))
            continue;
        if (e.name.empty() || e.name[0] == '.')
            continue;
        kept.push_back({e.name, (e.attributes & platform::kAttrDirectory) ? kKindDirectory : kKindFile});
    }
    return kept;
}

} // namespace

void listLocalDirectory() {
    const std::string folder = localFolderPath();
    std::vector<FolderEntry> entries = listedEntries(folder);
    mainWindow().上传文件框.deleteAllItems();
    // Folders first, in the reverse of the search order.
    std::vector<std::string> files;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string path = folder + it->name;
        if (isDirectoryName(path, false, it->kind))
            appendLocalRow(it->name, iconIndexFor(path, false, kKindDirectory));
        else
            files.push_back(it->name);
    }
    std::vector<std::string> ordered(files.rbegin(), files.rend());
    groupByExtension(ordered);
    for (const std::string& name : ordered)
        addLocalEntry(name, folder + name);
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
