#include "app/controls/UiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <mutex>

namespace ui {
namespace {

QPointer<QObject> invoker;
std::atomic<bool> shutDown{false};

} // namespace

void initUiThread() {
    if (!invoker) {
        invoker = new QObject(QCoreApplication::instance());
        invoker->setObjectName("uiThreadInvoker");
    }
    shutDown = false;
}

bool onUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void runOnUiThread(const std::function<void()>& fn) {
    if (onUiThread()) {
        fn();
        return;
    }
    QObject* target = invoker.data();
    if (shutDown || !target)
        return;
    // The blocking call hands over through a semaphore inside Qt, which
    // thread checkers cannot see; the flag makes the same order explicit:
    // what the worker wrote comes before the call, what the call wrote
    // comes before the worker goes on.
    std::atomic<int> handOver{0};
    handOver.store(1, std::memory_order_release);
    QMetaObject::invokeMethod(
        target,
        [&handOver, &fn] {
            (void)handOver.load(std::memory_order_acquire);
            fn();
            handOver.store(2, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    (void)handOver.load(std::memory_order_acquire);
}

void shutDownUiThread() {
    shutDown = true;
}

} // namespace ui
