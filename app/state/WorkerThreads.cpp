#include "app/state/WorkerThreads.h"

#include "app/controls/Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

std::atomic<int> running{0};
std::atomic<bool> stopping{false};
std::mutex hookMutex;
std::function<void()> abortHook;

} // namespace

void startWorker(std::function<void()> work) {
    ++running;
    std::thread([work = std::move(work)] {
        work();
        --running;
    }).detach();
}

int runningWorkers() {
    return running;
}

bool workersStopping() {
    return stopping;
}

void setWorkerAbortHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    abortHook = std::move(hook);
}

bool waitForWorkers(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (running > 0) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool stopWorkersAndWait(int timeoutMs) {
    stopping = true;
    ui::suppressDialogs(true);
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        hook = abortHook;
    }
    if (running > 0 && hook)
        hook();
    QElapsedTimer clock;
    clock.start();
    while (running > 0) {
        if (clock.elapsed() > timeoutMs)
            return false;
        // A worker may be waiting for the user to answer a message box it
        // showed: answer it as if closed, so the worker can finish.
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void resetWorkers() {
    stopping = false;
    ui::suppressDialogs(false);
}
