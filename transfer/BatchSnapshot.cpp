#include "transfer/BatchSnapshot.h"

#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "ftp/RemotePath.h"
#include "local/LocalList.h"
#include "transfer/TransferPaths.h"

#include <algorithm>

namespace {

std::vector<int> everyRow(const ui::ListControl& list) {
    std::vector<int> indexes(static_cast<std::size_t>(std::max(list.itemCount(), 0)));
    for (std::size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = static_cast<int>(i);
    return indexes;
}

// UI thread.
void takeFoldersNow(BatchSnapshot& snapshot) {
    snapshot.remoteFolder.path = mainWindow().FTP目录框.text();
    snapshot.localFolder = localFolderText();
}

// The server's bytes of the folder and of every row, in one go: taken now,
// they hold whatever later listings show under the same names.
void takeWireNames(BatchSnapshot& snapshot) {
    RemoteSession& session = *snapshot.session;
    snapshot.remoteFolder.wire = session.wirePath(listedDirectory(snapshot.remoteFolder.path));
    std::vector<std::string> names;
    names.reserve(snapshot.rows.size());
    for (const ChosenRow& row : snapshot.rows)
        names.push_back(row.name);
    std::vector<std::string> wires = session.wirePathsBelow(snapshot.remoteFolder, names);
    const std::string prefix = remotePrefix(snapshot.remoteFolder.path);
    for (std::size_t i = 0; i < snapshot.rows.size(); ++i)
        snapshot.rows[i].remote = RemoteName(prefix + snapshot.rows[i].name, std::move(wires[i]));
}

// The row at the index whose text is exactly the name, else the first such
// row (the list's own search ignores case); -1 when there is none.
int rowWithText(const ui::ListControl& list, const std::string& text, int hint) {
    if (hint >= 0 && hint < list.itemCount() && list.itemText(hint) == text)
        return hint;
    for (int i = list.findItem(text); i >= 0; i = list.findItem(text, i + 1))
        if (list.itemText(i) == text)
            return i;
    return -1;
}

// The rows of the list at the indexes and both folders, in one trip to the
// UI thread.
BatchSnapshot rowsAndFolders(const ui::ListControl& list, const std::vector<int>& indexes) {
    BatchSnapshot snapshot;
    ui::runOnUiThread([&] {
        takeFoldersNow(snapshot);
        snapshot.rows.reserve(indexes.size());
        for (int index : indexes) {
            ChosenRow row;
            row.name = list.itemText(index, 0);
            row.sizeText = list.itemText(index, 1);
            row.kind = static_cast<EntryKind>(list.itemValue(index));
            row.size = list.itemSize(index);
            row.rawName = list.itemRawText(index);
            row.index = index;
            snapshot.rows.push_back(std::move(row));
        }
    });
    return snapshot;
}

} // namespace

BatchSnapshot remoteSnapshot(const std::vector<int>& indexes) {
    BatchSnapshot snapshot = rowsAndFolders(mainWindow().远程文件框, indexes);
    snapshot.session = currentSession();
    takeWireNames(snapshot);
    return snapshot;
}

BatchSnapshot selectedRemoteSnapshot() {
    return remoteSnapshot(mainWindow().远程文件框.selectedItems());
}

BatchSnapshot allRemoteSnapshot() {
    std::vector<int> indexes;
    ui::runOnUiThread([&] { indexes = everyRow(mainWindow().远程文件框); });
    return remoteSnapshot(indexes);
}

BatchSnapshot localSnapshot(const std::vector<int>& indexes) {
    return rowsAndFolders(mainWindow().上传文件框, indexes);
}

BatchSnapshot selectedLocalSnapshot() {
    return localSnapshot(mainWindow().上传文件框.selectedItems());
}

BatchSnapshot allLocalSnapshot() {
    std::vector<int> indexes;
    ui::runOnUiThread([&] { indexes = everyRow(mainWindow().上传文件框); });
    return localSnapshot(indexes);
}

void takeRemoteFolder(BatchSnapshot& snapshot) {
    snapshot.session = currentSession();
    snapshot.remoteFolder = RemoteName(mainWindow().FTP目录框.text());
    snapshot.remoteFolder.wire = snapshot.session->wirePath(listedDirectory(snapshot.remoteFolder.path));
}

std::string localFolderPrefix(const BatchSnapshot& snapshot) {
    return localPrefix(snapshot.localFolder);
}

std::string localRowPath(const BatchSnapshot& snapshot, const ChosenRow& row) {
    return localFolderPrefix(snapshot) + row.rawName;
}

bool remoteListShows(const BatchSnapshot& snapshot) {
    // The same path on the server connected since is another folder.
    return mainWindow().FTP目录框.text() == snapshot.remoteFolder.path &&
           (!snapshot.session || snapshot.session == currentSession());
}

bool localListShows(const BatchSnapshot& snapshot) {
    return localFolderText() == snapshot.localFolder;
}

int remoteRowNow(const BatchSnapshot& snapshot, const ChosenRow& row) {
    return remoteListShows(snapshot) ? rowWithText(mainWindow().远程文件框, row.name, row.index) : -1;
}

int localRowNow(const BatchSnapshot& snapshot, const ChosenRow& row) {
    return localListShows(snapshot) ? rowWithText(mainWindow().上传文件框, row.name, row.index) : -1;
}
