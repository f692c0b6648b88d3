#pragma once
// The progress bar, the timers, menu check marks and the window title.
#include "app/controls/WidgetControl.h"

#include <QAction>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <string>

namespace ui {

// Position 0..100; values outside are kept within the range.
class ProgressControl : public WidgetControl {
public:
    void attach(QProgressBar* bar) { bar_ = bar; attachWidget(bar); }
    int position() const;
    void setPosition(int value);

private:
    QPointer<QProgressBar> bar_;
};

// Ticks every interval milliseconds while the interval is above 0; writing
// 0 stops it, writing a new interval restarts the count.
class TimerControl {
public:
    void attach(QTimer* timer) { timer_ = timer; }
    QTimer* timer() const { return timer_.data(); }
    int interval() const;
    void setInterval(int milliseconds);

private:
    QPointer<QTimer> timer_;
};

class MenuItemControl {
public:
    void attach(QAction* action) { action_ = action; }
    QAction* action() const { return action_.data(); }
    bool checked() const;
    void setChecked(bool value);

private:
    QPointer<QAction> action_;
};

class WindowControl {
public:
    void attach(QWidget* window) { window_ = window; }
    QWidget* widget() const { return window_.data(); }
    std::string title() const;
    void setTitle(const std::string& title);
    void close();

private:
    QPointer<QWidget> window_;
};

} // namespace ui
