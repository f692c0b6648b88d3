// Renaming a remote entry and creating a remote directory. The questions
// are asked on the UI thread; the server is asked on a worker.
#include "fileops/RemoteEdits.h"

#include "app/controls/Dialogs.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/RemotePath.h"
#include "ftp/handlers/FtpClientInstance.h"
#include "ftp/handlers/RemoteListLock.h"
#include "ftp/handlers/RemoteListing.h"

void renameRemote() {
    MainWindow& w = mainWindow();
    const int row = w.远程文件框.currentSelection();
    if (row < 0)
        return;
    const std::string oldName = w.远程文件框.itemText(row);
    ui::InputResult answer = ui::inputBox("请输入新文件名", oldName);
    if (!answer.ok)
        return;
    const std::string oldPath = remotePrefix(w.FTP目录框.text()) + oldName;
    startWorker([oldPath, newName = answer.text] {
        const bool renamed = ftpClient().renameFile(oldPath, newName);
        ui::messageBox(renamed ? "修改成功" : "修改失败");
        listRemoteDirectory();
    });
}

void makeRemoteDirectory() {
    MainWindow& w = mainWindow();
    ui::InputResult answer = ui::inputBox("请输入目录名");
    if (!answer.ok)
        return;
    const std::string path = w.FTP目录框.text() + "/" + answer.text;
    startWorker([path] {
        // The row shows the folder the server made, which may be named
        // otherwise than asked.
        std::string created;
        if (!ftpClient().makeDirectory(path, created)) {
            ui::messageBox("创建失败！");
            return;
        }
        ui::ListControl& list = mainWindow().远程文件框;
        std::lock_guard<std::mutex> lock(remoteListMutex());
        ui::runOnUiThread([&] {
            list.insertItem(list.currentSelection(), created, 0, kKindDirectory);
            list.setColumnWidth(0, -1);
            list.setColumnWidth(1, -1);
        });
    });
}
