#include "app/forms/PaintThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace forms {

PaintThrottle::PaintThrottle(QWidget* window, int intervalMs)
    : QObject(window), window_(window), intervalMs_(intervalMs) {
    deferred_.setSingleShot(true);
    connect(&deferred_, &QTimer::timeout, this, [this] { requestRepaint(); });
    window->installEventFilter(this);
}

bool PaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::UpdateRequest)
        return false;
    if (!sinceLastPaint_.isValid() || sinceLastPaint_.elapsed() >= intervalMs_) {
        sinceLastPaint_.restart();
        return false;
    }
    // Qt sends no further request while this one is outstanding: the
    // dirty region keeps growing until the deferred request paints it.
    if (!deferred_.isActive())
        deferred_.start(static_cast<int>(intervalMs_ - sinceLastPaint_.elapsed()));
    return true;
}

void PaintThrottle::requestRepaint() {
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

} // namespace forms
