#include "app/state/WorkerThreads.h"

#include "app/controls/Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

std::atomic<int> running{0};
std::atomic<bool> stopping{false};
std::mutex hookMutex;
std::function<void()> abortHook;
// What waitUnlessStopped waits on.
std::mutex waitMutex;
std::condition_variable waitWake;

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

bool waitUnlessStopped(int ms, const std::function<bool()>& stopped) {
    auto isStopped = [&] { return stopping.load() || (stopped && stopped()); };
    std::unique_lock<std::mutex> lock(waitMutex);
    return !waitWake.wait_for(lock, std::chrono::milliseconds(ms), isStopped);
}

void wakeWaitingWorkers() {
    // Taking the lock orders the wake after a waiter's check of its condition.
    { std::lock_guard<std::mutex> lock(waitMutex); }
    waitWake.notify_all();
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
    wakeWaitingWorkers();
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
