#include "app/controls/WidgetControl.h"
#include "app/controls/UiThread.h"

#include <algorithm>

namespace ui {
namespace {

// Sizes below zero are passed on by the layout rules; a widget cannot be
// smaller than nothing.
int nonNegative(int v) { return std::max(v, 0); }

} // namespace

int WidgetControl::left() const {
    int r = 0;
    runOnUiThread([&] { if (QWidget* w = base_) r = w->x(); });
    return r;
}

int WidgetControl::top() const {
    int r = 0;
    runOnUiThread([&] { if (QWidget* w = base_) r = w->y(); });
    return r;
}

int WidgetControl::width() const {
    int r = 0;
    runOnUiThread([&] { if (QWidget* w = base_) r = w->width(); });
    return r;
}

int WidgetControl::height() const {
    int r = 0;
    runOnUiThread([&] { if (QWidget* w = base_) r = w->height(); });
    return r;
}

void WidgetControl::setLeft(int value) {
    runOnUiThread([&] { if (QWidget* w = base_) w->move(value, w->y()); });
}

void WidgetControl::setTop(int value) {
    runOnUiThread([&] { if (QWidget* w = base_) w->move(w->x(), value); });
}

void WidgetControl::setWidth(int value) {
    runOnUiThread([&] { if (QWidget* w = base_) w->resize(nonNegative(value), w->height()); });
}

void WidgetControl::setHeight(int value) {
    runOnUiThread([&] { if (QWidget* w = base_) w->resize(w->width(), nonNegative(value)); });
}

bool WidgetControl::disabled() const {
    bool r = false;
    runOnUiThread([&] { if (QWidget* w = base_) r = !w->isEnabled(); });
    return r;
}

void WidgetControl::setDisabled(bool value) {
    runOnUiThread([&] { if (QWidget* w = base_) w->setEnabled(!value); });
}

} // namespace ui
