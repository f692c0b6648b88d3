#include "app/controls/IndicatorControls.h"
#include "app/controls/UiThread.h"

#include <algorithm>

namespace ui {

int ProgressControl::position() const {
    int r = 0;
    runOnUiThread([&] { if (QProgressBar* b = bar_) r = b->value(); });
    return r;
}

void ProgressControl::setPosition(int value) {
    runOnUiThread([&] {
        if (QProgressBar* b = bar_)
            b->setValue(std::clamp(value, b->minimum(), b->maximum()));
    });
}

int TimerControl::interval() const {
    int r = 0;
    runOnUiThread([&] {
        if (QTimer* t = timer_)
            r = t->isActive() ? t->interval() : 0;
    });
    return r;
}

void TimerControl::setInterval(int milliseconds) {
    runOnUiThread([&] {
        QTimer* t = timer_;
        if (!t)
            return;
        if (milliseconds <= 0) {
            t->stop();
            return;
        }
        t->start(milliseconds);
    });
}

bool MenuItemControl::checked() const {
    bool r = false;
    runOnUiThread([&] { if (QAction* a = action_) r = a->isChecked(); });
    return r;
}

void MenuItemControl::setChecked(bool value) {
    runOnUiThread([&] { if (QAction* a = action_) a->setChecked(value); });
}

std::string WindowControl::title() const {
    std::string r;
    runOnUiThread([&] { if (QWidget* w = window_) r = w->windowTitle().toStdString(); });
    return r;
}

void WindowControl::setTitle(const std::string& title) {
    runOnUiThread([&] { if (QWidget* w = window_) w->setWindowTitle(QString::fromStdString(title)); });
}

void WindowControl::close() {
    runOnUiThread([&] { if (QWidget* w = window_) w->close(); });
}

} // namespace ui
