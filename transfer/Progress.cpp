// The progress bar during a single transfer: a 500 ms tick compares what has
// arrived (the partial download file's size, or the bytes an upload sent)
// with the expected size.
#include "transfer/Progress.h"

#include "app/controls/UiThread.h"
#include "app/forms/MainWindow.h"
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "platform/LocalFiles.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

constexpr int kTickMs = 500;
constexpr int kRemoteWatchMs = 1000;

// The session of the transfer watched now; the watch does not keep it.
std::mutex watchedMutex;
std::weak_ptr<RemoteSession> watchedSession;

void watch(const SessionHandle& session) {
    std::lock_guard<std::mutex> lock(watchedMutex);
    watchedSession = session;
}

SessionHandle watched() {
    std::lock_guard<std::mutex> lock(watchedMutex);
    return watchedSession.lock();
}

std::shared_ptr<BatchProgress> watchedBatch;  // guarded by watchedMutex

std::shared_ptr<BatchProgress> batchWatched() {
    std::lock_guard<std::mutex> lock(watchedMutex);
    return watchedBatch;
}

// The download is written to its partial file first; once it completes the
// partial file becomes the target.
int64_t bytesArrived(RemoteSession* session, const std::string& localPath) {
    const std::string partialPath = session ? session->partialPathFor(localPath) : std::string();
    int64_t partial = partialPath.empty() ? -1 : platform::fileSize(partialPath);
    return partial >= 0 ? partial : platform::fileSize(localPath);
}

// The bar to 0, then the tick interval, in one trip to the UI thread (the
// transfers call this around every file).
void resetBarAndTimer(int intervalMs) {
    ui::runOnUiThread([intervalMs] {
        mainWindow().进度条1.setPosition(0);
        mainWindow().时钟1.setInterval(intervalMs);
    });
}

} // namespace

int progressPercent(double done, double total) {
    double percent = done / total * 100.0;
    if (!std::isfinite(percent) || percent <= 0)
        return 0;
    if (percent >= 100)
        return 100;
    return static_cast<int>(percent);
}

void startDownloadWatch(const SessionHandle& session, const std::string& localPath, float expectedBytes) {
    watch(session);
    AppState& app = appState();
    app.uploadWatched = 0;
    app.downloadPath.set(localPath);
    app.downloadTotal = expectedBytes;
    resetBarAndTimer(kTickMs);
}

void startUploadWatch(const SessionHandle& session, int64_t totalBytes) {
    watch(session);
    AppState& app = appState();
    app.uploadWatched = 1;
    app.uploadTotal = totalBytes;
    resetBarAndTimer(kTickMs);
}

void stopProgressWatch() {
    ui::runOnUiThread([] {
        mainWindow().时钟1.setInterval(0);
        mainWindow().进度条1.setPosition(0);
    });
    appState().uploadWatched = 0;
    watch(nullptr);
}

void BatchProgress::fileStarted(const SessionHandle& session) {
    std::lock_guard<std::mutex> lock(mutex_);
    running_.push_back(session);
}

void BatchProgress::fileEnded(const SessionHandle& session, int64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(running_.begin(), running_.end(), session);
    if (it != running_.end())
        running_.erase(it);
    finished_ += std::max<int64_t>(0, bytes);
}

int64_t BatchProgress::bytesDone() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t done = finished_;
    for (const SessionHandle& session : running_)
        done += session->transferredBytes();
    return done;
}

void startBatchWatch(const std::shared_ptr<BatchProgress>& progress) {
    {
        std::lock_guard<std::mutex> lock(watchedMutex);
        watchedBatch = progress;
    }
    resetBarAndTimer(kTickMs);
}

void stopBatchWatch() {
    {
        std::lock_guard<std::mutex> lock(watchedMutex);
        watchedBatch.reset();
    }
    stopProgressWatch();
}

void downloadProgressTick() {
    AppState& app = appState();
    MainWindow& w = mainWindow();
    if (const std::shared_ptr<BatchProgress> batch = batchWatched()) {
        w.进度条1.setPosition(progressPercent(static_cast<double>(batch->bytesDone()),
                                               static_cast<double>(batch->totalBytes())));
        return;
    }
    const SessionHandle session = watched();
    int percent;
    if (app.uploadWatched == 1)
        percent = progressPercent(static_cast<double>(session ? session->transferredBytes() : 0),
                                  static_cast<double>(app.uploadTotal.load()));
    else
        percent = progressPercent(static_cast<double>(bytesArrived(session.get(), app.downloadPath.get())),
                                  static_cast<double>(app.downloadTotal.load()));
    w.进度条1.setPosition(percent);
    if (w.进度条1.position() < 100)
        return;
    w.时钟1.setInterval(0);
    w.进度条1.setPosition(0);
}

void remoteWatchTick() {
    mainWindow().时钟_进度.setInterval(0);
    startWorker([] {
        RemoteWatch& watch = appState().remoteWatch;
        std::vector<std::string> names;
        std::vector<int64_t> sizes;
        if (currentSession()->listDirectory(watch.remotePath.get(), -1, &names, nullptr, &sizes) > 0)
            mainWindow().进度条1.setPosition(progressPercent(static_cast<double>(sizes.front()), watch.total));
        if (watch.pollingFlag == 1)
            mainWindow().时钟_进度.setInterval(kRemoteWatchMs);
    });
}
