// Downloading remote files: the selected rows, all rows, into a chosen
// folder, and a double-clicked file that is then opened.
#include "transfer/Download.h"

#include "app/AppState.h"
#include "app/Handlers.h"
#include "app/Log.h"
#include "app/WorkerThreads.h"
#include "app/controls/Dialogs.h"
#include "app/controls/Shell.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "ftp/FtpClientInstance.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/SizeText.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "transfer/Progress.h"
#include "transfer/TransferPaths.h"

#include <string>
#include <vector>

namespace {

constexpr const char* kDownloadCaption = "下载";
constexpr const char* kStopCaption = "停止";

struct RemoteRow {
    std::string name;
    std::string sizeText;
    EntryKind kind;
};

RemoteRow remoteRow(int index) {
    ui::ListControl& list = mainWindow().远程文件框;
    RemoteRow row{};
    ui::runOnUiThread([&] {
        row = {list.itemText(index, 0), list.itemText(index, 1), static_cast<EntryKind>(list.itemValue(index))};
    });
    return row;
}

} // namespace

bool downloadOne(const std::string& name, const std::string& sizeText, const std::string& targetFolder,
                 EntryKind kind) {
    MainWindow& w = mainWindow();
    if (isDirectoryName(name, false, kind))
        return false;
    if (!isSafeLocalName(name)) {
        appendLog(name + "    下载失败");
        return false;
    }
    const std::string remote = remotePrefix(w.FTP目录框.text());
    const std::string local =
        targetFolder.empty() ? localFolderPath() : targetFolder + platform::kPathSeparator;
    const std::string localPath = local + name;

    // The control calls before and after the transfer each make one trip to
    // the UI thread: in a batch of small files the trips cost more than the
    // transfers.
    ui::runOnUiThread([&] {
        w.状态条1.setPaneText(1, "正在下载：" + name + "  大小：" + sizeText + "KB");
        startDownloadWatch(localPath, static_cast<float>(leadingNumber(sizeText) * 1024.0));
    });
    const bool arrived = ftpClient().getFile(remote + name, localPath);
    ui::runOnUiThread([&] {
        if (arrived) {
            addLocalEntry(name, localPath);
            appendLog(name + "    下载成功");
        } else {
            appendLog(name + "    下载失败");
        }
        stopProgressWatch();
    });
    return arrived;
}

void downloadButton() {
    if (mainWindow().下载钮.caption() == kDownloadCaption) {
        appState().quickDownload = 1;
        downloadCommand();
        return;
    }
    appState().transferFlag = 1;
}

void downloadCommand() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    const bool quick = app.quickDownload.exchange(0) == 1;
    if (w.远程文件框.currentSelection() < 0) {
        ui::messageBox("请选择要下载的文件");
        return;
    }
    if (quick) {
        app.targetFolder.set(std::string());
    } else {
        const std::string folder = ui::folderDialog("选择文件保存目录");
        app.targetFolder.set(folder);
        if (folder.empty())
            return;
    }
    app.transferFlag = 0;
    w.下载钮.setCaption(kStopCaption);
    startWorker(downloadBatch);
}

void downloadBatch() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    const std::vector<int> rows = w.远程文件框.selectedItems();
    const std::string target = app.targetFolder.get();
    int done = 0;
    int failed = 0;
    std::string lastName;
    for (int index : rows) {
        RemoteRow row = remoteRow(index);
        lastName = row.name;
        if (downloadOne(row.name, row.sizeText, target, row.kind)) {
            ++done;
            w.状态条1.setPaneText(2, "已下载：" + std::to_string(done) + "个");
        } else {
            ++failed;
        }
        if (app.transferFlag == 1 || workersStopping())
            break;
    }
    w.状态条1.setPaneText(2, "下载个数：" + std::to_string(done) + "   失败个数：" + std::to_string(failed));
    if (done > 0) {
        w.状态条1.setPaneText(1, "下载完毕");
    } else {
        w.状态条1.setPaneText(1, "下载失败 ");
        appendLog(lastName + "    下载失败");
    }
    w.下载钮.setCaption(kDownloadCaption);
}

void downloadAll() {
    MainWindow& w = mainWindow();
    const int count = w.远程文件框.itemCount();
    int done = 0;
    int failed = 0;
    for (int index = 0; index < count && !workersStopping(); ++index) {
        RemoteRow row = remoteRow(index);
        if (downloadOne(row.name, row.sizeText, std::string(), row.kind)) {
            ++done;
            w.状态条1.setPaneText(2, "已下个数：" + std::to_string(done));
        } else {
            ++failed;
        }
    }
    w.状态条1.setPaneText(2, "下载个数:" + std::to_string(done) + "失败个数:" + std::to_string(failed));
    w.状态条1.setPaneText(1, done > 0 ? "下载完毕" : "下载失败");
}

void openRemoteFile() {
    MainWindow& w = mainWindow();
    RemoteRow row = remoteRow(w.远程文件框.currentSelection());
    if (!downloadOne(row.name, row.sizeText, std::string(), row.kind)) {
        appendLog(row.name + "   下载失败！");
        w.状态条1.setPaneText(1, "下载失败");
        return;
    }
    w.状态条1.setPaneText(1, "下载完毕 ");
    ui::openDocument(4, localFolderText() + platform::kPathSeparator + row.name);
}
