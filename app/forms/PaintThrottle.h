#pragma once
// Caps how often a top-level window repaints. Workers change the log, the
// panes and the lists several times per file; painting after each change
// costs more than a small file's transfer. A repaint that comes sooner than
// the interval after the last one is held back and done once the interval
// has passed, so the screen lags by at most one interval and every change
// still shows. Controls keep their state at once; only pixels wait.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

namespace forms {

class PaintThrottle : public QObject {
public:
    PaintThrottle(QWidget* window, int intervalMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void requestRepaint();

    QWidget* window_;
    int intervalMs_;
    QElapsedTimer sinceLastPaint_;
    QTimer deferred_;
};

} // namespace forms
