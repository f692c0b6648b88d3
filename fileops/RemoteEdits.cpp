// Renaming a remote entry and creating a remote directory. The questions
// are asked on the UI thread; the server is asked on a worker.
#include "fileops/RemoteEdits.h"

#include "app/controls/Dialogs.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/RemotePath.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/CreatedFolder.h"
#include "ftp/handlers/RemoteListLock.h"
#include "ftp/handlers/RemoteListing.h"
#include "transfer/BatchSnapshot.h"

#include <string>

namespace {

// Whether another row of the folder the rename happens in already has the
// new name (letter case ignored, as servers of Windows do): the rename
// would replace that entry.
bool replacesListedEntry(const BatchSnapshot& snapshot, const std::string& newName) {
    if (newName.empty() || newName.find('/') != std::string::npos || !remoteListShows(snapshot))
        return false;
    const ui::ListControl& list = mainWindow().远程文件框;
    const int renamed = remoteRowNow(snapshot, snapshot.rows.front());
    for (int i = list.findItem(newName); i >= 0; i = list.findItem(newName, i + 1))
        if (i != renamed)
            return true;
    return false;
}

// The last name of a path as typed ("a/b/" gives "b").
std::string lastName(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

void renameRemote() {
    MainWindow& w = mainWindow();
    const int row = w.远程文件框.currentSelection();
    if (row < 0)
        return;
    const BatchSnapshot snapshot = remoteSnapshot({row});
    ui::InputResult answer = ui::inputBox("请输入新文件名", snapshot.rows.front().name);
    if (!answer.ok)
        return;
    const bool replace = replacesListedEntry(snapshot, answer.text);
    if (replace &&
        ui::messageBox("“" + answer.text + "”已存在，要替换它吗？", ui::kMbYesNo | ui::kMbIconQuestion, "询问：") !=
            ui::kIdYes)
        return;
    startWorker([snapshot, newName = answer.text, replace] {
        RemoteSession& session = *snapshot.session;
        if (!connectionReadyForCommand(session))
            return;
        // The new name is passed as typed; it is taken in the folder shown,
        // whatever folder an upload left the connection in.
        auto rename = [&] {
            return session.renameFile(snapshot.rows.front().remote, newName, snapshot.remoteFolder, replace);
        };
        const bool renamed = rename() || (reconnectedAfterDrop(session) && rename());
        ui::messageBox(renamed ? "修改成功" : "修改失败");
        listRemoteDirectory();
    });
}

void makeRemoteDirectory() {
    ui::InputResult answer = ui::inputBox("请输入目录名");
    if (!answer.ok)
        return;
    BatchSnapshot where;
    takeRemoteFolder(where);
    const std::string path = where.remoteFolder.path + "/" + answer.text;
    startWorker([where, path] {
        RemoteSession& session = *where.session;
        if (!connectionReadyForCommand(session))
            return;
        std::string replied;
        auto make = [&] { return session.makeDirectory(path, replied); };
        if (!make() && !(reconnectedAfterDrop(session) && make())) {
            ui::messageBox("创建失败！");
            return;
        }
        // The row names the folder the server made, which may be named
        // otherwise than asked, but only a folder the server lists as new;
        // in doubt the list is read again.
        const CreatedFolder created = createdFolderName(session, where.remoteFolder, lastName(path), replied);
        ui::ListControl& list = mainWindow().远程文件框;
        std::unique_lock<std::mutex> lock(remoteListMutex());
        bool shown = false;
        ui::runOnUiThread([&] {
            shown = remoteListShows(where);
            if (!shown || !created.listed)
                return;
            list.insertItem(list.currentSelection(), created.name, 0, kKindDirectory);
            list.setColumnWidth(0, -1);
            list.setColumnWidth(1, -1);
        });
        lock.unlock();
        if (shown && !created.listed)
            listRemoteDirectory();
    });
}
