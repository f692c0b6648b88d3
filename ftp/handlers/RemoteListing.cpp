// The remote list: filling it from the directory in the remote path box,
// and moving between directories.
#include "ftp/handlers/RemoteListing.h"

#include "app/controls/Dialogs.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/SizeText.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/RemoteLinks.h"
#include "ftp/handlers/RemoteListLock.h"
#include "platform/LocalFiles.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

EntryKind kindOf(const RemoteEntry& entry) {
    if (entry.isLink())
        return kKindLink;
    return entry.isDirectory() ? kKindDirectory : kKindFile;
}

// A row keeps the entry's real type as its value, its exact size, and the
// name a local copy gets when that is not the shown text. The entry's
// texts are moved into the row: a listing may hold a million entries.
ui::ListRow remoteRow(RemoteEntry& entry, const std::string& directory) {
    const EntryKind kind = kindOf(entry);
    ui::ListRow row;
    row.value = kind;
    if (kind == kKindLink)
        row.image = remoteLinkIcon(remoteChild(directory, entry.name), entry);
    else
        row.image = iconIndexFor(entry.name, true, kind);
    if (!entry.isDirectory()) {
        // A size the listing did not give reads 0, as it always has; the
        // row's size stays unknown, so the download does not expect 0 bytes.
        row.text1 = sizeTextKb(std::max<int64_t>(entry.size, 0));
        // A link's listed size is the link's own, not its target's.
        if (kind == kKindFile)
            row.size = entry.size;
    }
    if (entry.localName != entry.name)
        row.rawText = std::move(entry.localName);
    std::string().swap(entry.localName);
    row.text = std::move(entry.name);
    return row;
}

bool isShown(const RemoteEntry& entry) {
    return !entry.name.empty() && entry.name[0] != '.';
}

// Directories first, in the reverse of the server's order, then the files
// in the server's order; names starting with "." are left out.
std::vector<ui::ListRow> remoteRows(std::vector<RemoteEntry>& entries, const std::string& directory) {
    std::vector<ui::ListRow> rows;
    // The rows become the list's storage. Room for some more (a created
    // folder, uploaded files) spares moving a long list when they come;
    // space never written costs no memory.
    const auto shown = static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), isShown));
    rows.reserve(shown + shown / 16 + 16);
    std::vector<std::size_t> files;
    for (std::size_t i = entries.size(); i-- > 0;) {
        RemoteEntry& entry = entries[i];
        if (!isShown(entry))
            continue;
        if (entry.isDirectory())
            rows.push_back(remoteRow(entry, directory));
        else
            files.push_back(i);
    }
    for (auto it = files.rbegin(); it != files.rend(); ++it)
        rows.push_back(remoteRow(entries[*it], directory));
    return rows;
}

// Fills the list with the listing's rows; false when there was no memory
// for them (the list then stays empty). shown is the number of rows shown.
bool showListing(DirectoryListing& listing, const std::string& directory, std::size_t& shown) {
    ui::ListControl& list = mainWindow().远程文件框;
    shown = 0;
    std::vector<ui::ListRow> rows;
    try {
        rows = remoteRows(listing.entries, directory);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vector<RemoteEntry>().swap(listing.entries);  // the rows hold the names now
    if (rows.empty())
        return true;
    const std::size_t count = rows.size();
    if (!list.appendRows(std::move(rows)))
        return false;
    shown = count;
    list.setColumnWidth(0, -1);
    if (list.columnWidth(1) > 80)
        list.setColumnWidth(1, -1);
    return true;
}

// The log line of a listing that failed or did not arrive whole; the list
// then shows nothing, as for a refused listing.
std::string listingFailedLine(const std::string& directory, const DirectoryListing& listing) {
    std::string line = "读取目录“" + directory + "”失败";
    if (listing.overLimit)
        line += "：列表过长";
    return line;
}

// Entries the listing could not read are missing from the list: say so.
void reportUnreadableLines(const DirectoryListing& listing) {
    if (listing.unreadableLines > 0)
        appendLog("有" + std::to_string(listing.unreadableLines) + "行列表无法识别");
}

// Refresh: the remote path box follows the server's current directory
// where it has to, then the list is filled.
void refreshRemoteListing() {
    MainWindow& w = mainWindow();
    const SessionHandle session = currentSession();
    // Before the box follows the server's directory, which a dropped
    // connection would not tell.
    if (!connectionReadyForCommand(*session))
        return;
    const std::string shown = w.FTP目录框.text();
    if (shown.empty()) {
        w.FTP目录框.setText(session->currentDirectory());
    } else {
        const std::string current = session->currentDirectory();
        if (shown.find(current) == std::string::npos) {
            w.FTP目录框.setText(current);
        } else if (!session->setCurrentDirectory(shown)) {
            w.FTP目录框.setText(current);
            session->setCurrentDirectory(current);
        }
    }
    listRemoteDirectory();
}

RemoteFileOpener& remoteFileOpener() {
    static RemoteFileOpener opener;
    return opener;
}

} // namespace

void setRemoteFileOpener(RemoteFileOpener open) {
    remoteFileOpener() = std::move(open);
}

std::function<void()> remoteFileOpenerFor(int row) {
    if (!remoteFileOpener())
        return [] {};
    std::function<void()> work = remoteFileOpener()(row);
    return work ? work : [] {};
}

std::mutex& remoteListMutex() {
    static std::mutex mutex;
    return mutex;
}

void listRemoteDirectory() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (!connectIfNeeded())
        return;
    const SessionHandle session = currentSession();
    if (!connectionReadyForCommand(*session))
        return;
    std::lock_guard<std::mutex> lock(remoteListMutex());
    ui::runOnUiThread([&] {
        w.远程文件框.setDisabled(true);
        w.反退钮.setDisabled(true);
    });
    // Without a connection (after 断开) the empty list is all there is to
    // say; a listing that failed on a connection is reported.
    const bool wasConnected = session->isConnected();
    enterTypedDirectory(*session);
    const std::string directory = w.FTP目录框.text();
    DirectoryListing listing = session->listEntries(listedDirectory(directory));
    if (!listing.complete && reconnectedAfterDrop(*session))
        listing = session->listEntries(listedDirectory(directory));
    app.entryCount = static_cast<int>(listing.entries.size());

    w.远程文件框.deleteAllItems();
    std::size_t shown = 0;
    if (!showListing(listing, directory, shown)) {
        listing.complete = false;
        listing.overLimit = true;
    }
    if (!listing.complete && wasConnected)
        appendLog(listingFailedLine(directory, listing));
    w.状态条1.setPaneText(1, "文件数:" + std::to_string(shown));
    reportUnreadableLines(listing);
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
    if (kind == kKindLink) {
        // Whether the link turns out a folder or a file, what it acts on is
        // the row as it is now.
        startWorker([row, name, path = remoteChild(w.FTP目录框.text(), name), open = remoteFileOpenerFor(row)] {
            openRemoteLink(row, name, path, open);
        });
        return;
    }
    if (!isDirectoryName(name, true, kind)) {
        startWorker(remoteFileOpenerFor(row));
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
