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
    QMetaObject::invokeMethod(target, fn, Qt::BlockingQueuedConnection);
}

void shutDownUiThread() {
    shutDown = true;
}

} // namespace ui
