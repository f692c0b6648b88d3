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
#include "ftp/handlers/ConnectionRecovery.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "transfer/BatchConnections.h"
#include "transfer/Progress.h"
#include "transfer/TransferPaths.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr const char* kDownloadCaption = "下载";
constexpr const char* kStopCaption = "停止";

// The name a local copy of the row gets: the server's own bytes when the
// shown name had to escape them.
const std::string& localNameOf(const ChosenRow& row) {
    return row.rawName.empty() ? row.name : row.rawName;
}

// A batch that left its loop early says how many chosen rows it never
// reached.
void logRowsNotDone(std::size_t notDone) {
    if (notDone > 0)
        appendLog("有" + std::to_string(notDone) + "项未下载（已停止）");
}

// The bytes a row stands for in the batch's bar.
int64_t rowBytes(const ChosenRow& row) {
    return row.size >= 0 ? row.size : static_cast<int64_t>(leadingNumber(row.sizeText) * 1024.0);
}

// How a batch's rows went. done is counted on the UI thread, in the trip
// that logs the file, so that pane 2 counts exactly.
struct DownloadCounts {
    std::atomic<int> done{0};
    std::atomic<int> failed{0};
    std::size_t taken = 0;  // rows are taken in order: the first ones
};

// Every row of the snapshot over the batch's connections; hooks.retries
// and hooks.progress are the batch's own. A bar for the whole batch when
// files run at once.
void downloadRows(const BatchSnapshot& snapshot, BatchConnections& connections, const DownloadBatchHooks& hooks,
                  DownloadCounts& counts) {
    std::shared_ptr<BatchProgress> progress;
    if (connections.parallel()) {
        int64_t total = 0;
        for (const ChosenRow& row : snapshot.rows)
            total += std::max<int64_t>(0, rowBytes(row));
        progress = std::make_shared<BatchProgress>(total);
        startBatchWatch(progress);
    }
    counts.taken = connections.run(snapshot.rows.size(), [&](std::size_t i, BatchRetries& retries) {
        DownloadBatchHooks own = hooks;
        own.retries = &retries;
        own.progress = progress.get();
        if (!downloadOne(snapshot.rows[i], snapshot, own))
            ++counts.failed;
    });
    if (progress)
        stopBatchWatch();
}

} // namespace

bool downloadOne(const ChosenRow& row, const BatchSnapshot& snapshot, const DownloadBatchHooks& hooks) {
    MainWindow& w = mainWindow();
    const std::string& name = row.name;
    if (isDirectoryName(name, false, row.kind))
        return false;
    const std::string& localName = localNameOf(row);
    if (!isSafeLocalName(localName)) {
        appendLog(name + "    下载失败");
        return false;
    }
    const std::string localPath = (snapshot.targetFolder.empty()
                                       ? localFolderPrefix(snapshot)
                                       : snapshot.targetFolder + platform::kPathSeparator) +
                                  localName;
    // The control calls before and after the transfer each make one trip to
    // the UI thread: in a batch of small files the trips cost more than the
    // transfers.
    BatchRetries ownRetries(snapshot.session);
    BatchRetries& retries = hooks.retries ? *hooks.retries : ownRetries;
    const SessionHandle& session = retries.sessionHandle();
    ui::runOnUiThread([&] {
        w.状态条1.setPaneText(1, "正在下载：" + name + "  大小：" + row.sizeText + "KB");
        if (!hooks.progress)
            startDownloadWatch(session, localPath, static_cast<float>(leadingNumber(row.sizeText) * 1024.0));
    });
    if (hooks.progress)
        hooks.progress->fileStarted(session);
    // A retry continues the partial file the failed attempt kept.
    const bool arrived =
        retries.run(name, [&](int) { return session->getFile(row.remote, localPath, false, row.size); });
    if (hooks.progress)
        hooks.progress->fileEnded(session, rowBytes(row));
    LocalEntryBatch ownArrivals(snapshot.localFolder);
    LocalEntryBatch& arrivals = hooks.arrivals ? *hooks.arrivals : ownArrivals;
    ui::runOnUiThread([&] {
        if (arrived) {
            arrivals.add(localName, localPath);
            if (!hooks.arrivals)
                arrivals.flush();
        }
        appendLog(name + (arrived ? "    下载成功" : "    下载失败"));
        if (!hooks.progress)
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
    wakeWaitingWorkers();  // a retry's wait ends at once
}

void downloadCommand() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    const bool quick = app.quickDownload.exchange(0) == 1;
    if (w.远程文件框.currentSelection() < 0) {
        ui::messageBox("请选择要下载的文件");
        return;
    }
    // The rows and folders as they are now, before the folder dialog lets
    // anything change them.
    BatchSnapshot snapshot = selectedRemoteSnapshot();
    if (quick) {
        app.targetFolder.set(std::string());
    } else {
        const std::string folder = ui::folderDialog("选择文件保存目录");
        app.targetFolder.set(folder);
        if (folder.empty())
            return;
        snapshot.targetFolder = folder;
    }
    app.transferFlag = 0;
    wakeWaitingWorkers();  // an upload's retry waiting now stops
    w.下载钮.setCaption(kStopCaption);
    startWorker([snapshot = std::move(snapshot)] { downloadBatch(snapshot); });
}

void downloadBatch(const BatchSnapshot& snapshot) {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (!connectionReadyForCommand(*snapshot.session)) {
        w.下载钮.setCaption(kDownloadCaption);
        return;
    }
    DownloadCounts counts;
    LocalEntryBatch arrivals(snapshot.localFolder);
    DownloadBatchHooks hooks;
    hooks.arrivals = &arrivals;
    hooks.afterOnUiThread = [&](bool arrived) {
        if (arrived)
            w.状态条1.setPaneText(2, "已下载：" + std::to_string(++counts.done) + "个");
    };
    BatchConnections connections(snapshot, [&app] { return app.transferFlag == 1; });
    downloadRows(snapshot, connections, hooks, counts);
    const bool stopped = !workersStopping() && app.transferFlag == 1;
    arrivals.flush();
    const int done = counts.done.load();
    w.状态条1.setPaneText(2, "下载个数：" + std::to_string(done) + "   失败个数：" + std::to_string(counts.failed.load()));
    if (done > 0) {
        w.状态条1.setPaneText(1, "下载完毕");
    } else {
        w.状态条1.setPaneText(1, "下载失败 ");
        if (counts.taken > 0)
            appendLog(snapshot.rows[counts.taken - 1].name + "    下载失败");
        else
            appendLog("    下载失败");
    }
    if (stopped)
        logRowsNotDone(snapshot.rows.size() - counts.taken);
    w.下载钮.setCaption(kDownloadCaption);
}

void downloadAllCommand() {
    startWorker([snapshot = allRemoteSnapshot()] { downloadAll(snapshot); });
}

void downloadAll(const BatchSnapshot& snapshot) {
    MainWindow& w = mainWindow();
    if (!connectionReadyForCommand(*snapshot.session))
        return;
    DownloadCounts counts;
    LocalEntryBatch arrivals(snapshot.localFolder);
    DownloadBatchHooks hooks;
    hooks.arrivals = &arrivals;
    hooks.afterOnUiThread = [&](bool arrived) {
        if (arrived)
            w.状态条1.setPaneText(2, "已下个数：" + std::to_string(++counts.done));
    };
    BatchConnections connections(snapshot);
    downloadRows(snapshot, connections, hooks, counts);
    arrivals.flush();
    const int done = counts.done.load();
    w.状态条1.setPaneText(2, "下载个数:" + std::to_string(done) + "失败个数:" + std::to_string(counts.failed.load()));
    w.状态条1.setPaneText(1, done > 0 ? "下载完毕" : "下载失败");
}

std::function<void()> openRemoteFileLater(int row) {
    return [snapshot = remoteSnapshot({row})] { openRemoteFile(snapshot); };
}

void openRemoteFile(const BatchSnapshot& snapshot) {
    MainWindow& w = mainWindow();
    if (snapshot.rows.empty() || !connectionReadyForCommand(*snapshot.session))
        return;
    const ChosenRow& row = snapshot.rows.front();
    // On a connection of its own, like any download, so that browsing
    // goes on meanwhile.
    bool arrived = false;
    BatchConnections connections(snapshot);
    connections.runOne([&](BatchRetries& retries) {
        DownloadBatchHooks hooks;
        hooks.retries = &retries;
        arrived = downloadOne(row, snapshot, hooks);
    });
    if (!arrived) {
        appendLog(row.name + "   下载失败！");
        w.状态条1.setPaneText(1, "下载失败");
        return;
    }
    w.状态条1.setPaneText(1, "下载完毕 ");
    ui::openDocument(4, snapshot.localFolder + platform::kPathSeparator + localNameOf(row));
}
