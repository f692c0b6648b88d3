// Renaming a remote entry and creating a remote directory.
#include "app/Handlers.h"
#include "app/controls/Dialogs.h"
#include "app/forms/MainWindow.h"
#include "ftp/EntryKind.h"
#include "ftp/FtpClientInstance.h"
#include "ftp/RemotePath.h"

void renameRemote() {
    MainWindow& w = mainWindow();
    const int row = w.远程文件框.currentSelection();
    if (row < 0)
        return;
    const std::string oldName = w.远程文件框.itemText(row);
    ui::InputResult answer = ui::inputBox("请输入新文件名", oldName);
    if (!answer.ok)
        return;
    const bool renamed = ftpClient().renameFile(remotePrefix(w.FTP目录框.text()) + oldName, answer.text);
    ui::messageBox(renamed ? "修改成功" : "修改失败");
    listRemoteDirectory();
}

void makeRemoteDirectory() {
    MainWindow& w = mainWindow();
    ui::InputResult answer = ui::inputBox("请输入目录名");
    if (!answer.ok)
        return;
    // The row shows the folder the server made, which may be named
    // otherwise than asked.
    std::string created;
    if (!ftpClient().makeDirectory(w.FTP目录框.text() + "/" + answer.text, created)) {
        ui::messageBox("创建失败！");
        return;
    }
    w.远程文件框.insertItem(w.远程文件框.currentSelection(), created, 0, kKindDirectory);
    w.远程文件框.setColumnWidth(0, -1);
    w.远程文件框.setColumnWidth(1, -1);
}
