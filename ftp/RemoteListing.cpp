// The remote list: filling it from the directory in the remote path box,
// and moving between directories.
#include "app/AppState.h"
#include "app/Handlers.h"
#include "app/Log.h"
#include "app/WorkerThreads.h"
#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "ftp/ConnectionState.h"
#include "ftp/EntryKind.h"
#include "ftp/FtpClientInstance.h"
#include "ftp/NameRules.h"
#include "ftp/RemoteListLock.h"
#include "ftp/RemotePath.h"
#include "ftp/SizeText.h"
#include "platform/LocalFiles.h"

#include <string>
#include <vector>

namespace {

EntryKind kindOf(const RemoteEntry& entry) {
    if (entry.isLink())
        return kKindLink;
    return entry.isDirectory() ? kKindDirectory : kKindFile;
}

// A row keeps the entry's real type as its value, its exact size, and the
// name a local copy gets when that is not the shown text.
ui::ListRow remoteRow(const RemoteEntry& entry) {
    const EntryKind kind = kindOf(entry);
    ui::ListRow row;
    row.text = entry.name;
    row.value = kind;
    if (entry.localName != entry.name)
        row.rawText = entry.localName;
    if (entry.isDirectory()) {
        row.image = iconIndexFor(entry.name, true, kKindDirectory);
    } else {
        row.image = iconIndexFor(entry.name, true, kKindFile);
        row.text1 = sizeTextKb(entry.size);
        // A link's listed size is the link's own, not its target's.
        if (kind == kKindFile)
            row.size = entry.size;
    }
    return row;
}

// Directories first, in the reverse of the server's order, then the files
// in the server's order; names starting with "." are left out.
std::vector<ui::ListRow> remoteRows(const std::vector<RemoteEntry>& entries) {
    std::vector<ui::ListRow> rows;
    std::vector<size_t> files;
    for (size_t i = entries.size(); i-- > 0;) {
        const RemoteEntry& entry = entries[i];
        if (entry.name.empty() || entry.name[0] == '.')
            continue;
        if (entry.isDirectory())
            rows.push_back(remoteRow(entry));
        else
            files.push_back(i);
    }
    for (auto it = files.rbegin(); it != files.rend(); ++it)
        rows.push_back(remoteRow(entries[*it]));
    return rows;
}

// The log line of a listing that failed or did not arrive whole; the list
// then shows nothing, as for a refused listing.
std::string listingFailedLine(const std::string& directory, const DirectoryListing& listing) {
    std::string line = "读取目录“" + directory + "”失败";
    if (listing.overLimit)
        line += "：列表过长";
    return line;
}

// Refresh: the remote path box follows the server's current directory
// where it has to, then the list is filled.
void refreshRemoteListing() {
    MainWindow& w = mainWindow();
    FtpClient& ftp = ftpClient();
    const std::string shown = w.FTP目录框.text();
    if (shown.empty()) {
        w.FTP目录框.setText(ftp.currentDirectory());
    } else {
        const std::string current = ftp.currentDirectory();
        if (shown.find(current) == std::string::npos) {
            w.FTP目录框.setText(current);
        } else if (!ftp.setCurrentDirectory(shown)) {
            w.FTP目录框.setText(current);
            ftp.setCurrentDirectory(current);
        }
    }
    listRemoteDirectory();
}

} // namespace

std::mutex& remoteListMutex() {
    static std::mutex mutex;
    return mutex;
}

void listRemoteDirectory() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (!connectIfNeeded())
        return;
    std::lock_guard<std::mutex> lock(remoteListMutex());
    w.远程文件框.setDisabled(true);
    w.反退钮.setDisabled(true);
    FtpClient& ftp = ftpClient();
    // Without a connection (after 断开) the empty list is all there is to
    // say; a listing that failed on a connection is reported.
    const bool wasConnected = ftp.isConnected();
    enterTypedDirectory();
    const std::string directory = w.FTP目录框.text();
    const DirectoryListing listing = ftp.listEntries(listedDirectory(directory));
    app.entryCount = static_cast<int>(listing.entries.size());

    std::vector<ui::ListRow> rows = remoteRows(listing.entries);
    w.远程文件框.deleteAllItems();
    if (!rows.empty()) {
        w.远程文件框.appendRows(rows);
        w.远程文件框.setColumnWidth(0, -1);
        if (w.远程文件框.columnWidth(1) > 80)
            w.远程文件框.setColumnWidth(1, -1);
    }
    if (!listing.complete && wasConnected)
        appendLog(listingFailedLine(directory, listing));
    w.状态条1.setPaneText(1, "文件数:" + std::to_string(rows.size()));
    w.远程文件框.setDisabled(false);
    w.反退钮.setDisabled(false);
}

void refreshRemote() {
    startWorker(refreshRemoteListing);
}

void goUpRemote() {
    MainWindow& w = mainWindow();
    const std::string shown = w.FTP目录框.text();
    if (shown.size() == 1)
        return;
    w.反退钮.setDisabled(true);
    std::optional<std::string> parent = remoteParent(shown);
    if (!parent) {
        w.反退钮.setDisabled(false);
        return;
    }
    w.FTP目录框.setText(*parent);
    startWorker(listRemoteDirectory);
}

void remoteItemDoubleClicked() {
    MainWindow& w = mainWindow();
    const int row = w.远程文件框.currentSelection();
    const std::string name = w.远程文件框.itemText(row);
    const auto kind = static_cast<EntryKind>(w.远程文件框.itemValue(row));
    if (!isDirectoryName(name, true, kind)) {
        startWorker(openRemoteFile);
        return;
    }
    w.FTP目录框.setText(remoteChild(w.FTP目录框.text(), name));
    if (w.远程文件框.disabled())
        return;
    w.远程文件框.setDisabled(true);
    startWorker(listRemoteDirectory);
}

void remotePathEntered() {
    startWorker(listRemoteDirectory);
}
