// Downloading remote files: the selected rows, all rows, into a chosen
// folder, and a double-clicked file that is then opened.
#include "transfer/Download.h"

#include "app/controls/Dialogs.h"
#include "app/controls/Shell.h"
#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/Log.h"
#include "app/state/WorkerThreads.h"
#include "ftp/NameRules.h"
#include "ftp/RemotePath.h"
#include "ftp/SizeText.h"
#include "ftp/handlers/FtpClientInstance.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "transfer/Progress.h"
#include "transfer/TransferPaths.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char* kDownloadCaption = "下载";
constexpr const char* kStopCaption = "停止";

struct RemoteRow {
    std::string name;
    std::string sizeText;
    RemoteFileFacts facts;
};

RemoteRow remoteRow(ui::ListControl& list, int index) {
    RemoteFileFacts facts;
    facts.kind = static_cast<EntryKind>(list.itemValue(index));
    facts.localName = list.itemRawText(index);
    facts.size = list.itemSize(index);
    return {list.itemText(index, 0), list.itemText(index, 1), facts};
}

// The rows of a batch, read in one trip to the UI thread.
std::vector<RemoteRow> remoteRows(const std::vector<int>& indexes) {
    ui::ListControl& list = mainWindow().远程文件框;
    std::vector<RemoteRow> rows;
    ui::runOnUiThread([&] {
        for (int index : indexes)
            rows.push_back(remoteRow(list, index));
    });
    return rows;
}

std::vector<int> allRows() {
    std::vector<int> indexes(static_cast<size_t>(std::max(mainWindow().远程文件框.itemCount(), 0)));
    for (size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = static_cast<int>(i);
    return indexes;
}

} // namespace

bool downloadOne(const std::string& name, const std::string& sizeText, const std::string& targetFolder,
                 const RemoteFileFacts& facts, const DownloadBatchHooks& hooks) {
    MainWindow& w = mainWindow();
    if (isDirectoryName(name, false, facts.kind))
        return false;
    // The local copy takes the server's own bytes when the shown name had
    // to escape them.
    const std::string localName = facts.localName.empty() ? name : facts.localName;
    if (!isSafeLocalName(localName)) {
        appendLog(name + "    下载失败");
        return false;
    }
    // The control calls before and after the transfer each make one trip to
    // the UI thread: in a batch of small files the trips cost more than the
    // transfers.
    std::string remote;
    std::string localPath;
    ui::runOnUiThread([&] {
        remote = remotePrefix(w.FTP目录框.text());
        const std::string local =
            targetFolder.empty() ? localFolderPath() : targetFolder + platform::kPathSeparator;
        localPath = local + localName;
        w.状态条1.setPaneText(1, "正在下载：" + name + "  大小：" + sizeText + "KB");
        startDownloadWatch(localPath, static_cast<float>(leadingNumber(sizeText) * 1024.0));
    });
    const bool arrived = ftpClient().getFile(remote + name, localPath, false, facts.size);
    ui::runOnUiThread([&] {
        if (arrived) {
            if (hooks.arrivals)
                hooks.arrivals->add(localName, localPath);
            else
                addLocalEntry(localName, localPath);
            appendLog(name + "    下载成功");
        } else {
            appendLog(name + "    下载失败");
        }
        stopProgressWatch();
        if (hooks.afterOnUiThread)
            hooks.afterOnUiThread(arrived);
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
    const std::vector<RemoteRow> rows = remoteRows(w.远程文件框.selectedItems());
    const std::string target = app.targetFolder.get();
    int done = 0;
    int failed = 0;
    std::string lastName;
    LocalEntryBatch arrivals;
    DownloadBatchHooks hooks;
    hooks.arrivals = &arrivals;
    hooks.afterOnUiThread = [&](bool arrived) {
        if (arrived)
            w.状态条1.setPaneText(2, "已下载：" + std::to_string(done + 1) + "个");
    };
    for (const RemoteRow& row : rows) {
        lastName = row.name;
        if (downloadOne(row.name, row.sizeText, target, row.facts, hooks))
            ++done;
        else
            ++failed;
        if (app.transferFlag == 1 || workersStopping())
            break;
    }
    arrivals.flush();
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
    int done = 0;
    int failed = 0;
    LocalEntryBatch arrivals;
    DownloadBatchHooks hooks;
    hooks.arrivals = &arrivals;
    hooks.afterOnUiThread = [&](bool arrived) {
        if (arrived)
            w.状态条1.setPaneText(2, "已下个数：" + std::to_string(done + 1));
    };
    for (const RemoteRow& row : remoteRows(allRows())) {
        if (workersStopping())
            break;
        if (downloadOne(row.name, row.sizeText, std::string(), row.facts, hooks))
            ++done;
        else
            ++failed;
    }
    arrivals.flush();
    w.状态条1.setPaneText(2, "下载个数:" + std::to_string(done) + "失败个数:" + std::to_string(failed));
    w.状态条1.setPaneText(1, done > 0 ? "下载完毕" : "下载失败");
}

void openRemoteFile() {
    MainWindow& w = mainWindow();
    const RemoteRow row = remoteRows({w.远程文件框.currentSelection()}).front();
    if (!downloadOne(row.name, row.sizeText, std::string(), row.facts)) {
        appendLog(row.name + "   下载失败！");
        w.状态条1.setPaneText(1, "下载失败");
        return;
    }
    w.状态条1.setPaneText(1, "下载完毕 ");
    ui::openDocument(4, localFolderText() + platform::kPathSeparator +
                            (row.facts.localName.empty() ? row.name : row.facts.localName));
}
