#pragma once
// Creating the controls of a window at their design-time geometry, named
// as the handlers address them.
#include <QLabel>
#include <QPushButton>
#include <QString>

namespace forms {

template <typename W>
W* place(W* widget, const char* name, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

inline QPushButton* button(QWidget* parent, const char* name, const char* caption, int x, int y, int w, int h) {
    return place(new QPushButton(QString::fromUtf8(caption), parent), name, x, y, w, h);
}

inline QLabel* label(QWidget* parent, const char* name, const char* caption, int x, int y, int w, int h) {
    return place(new QLabel(QString::fromUtf8(caption), parent), name, x, y, w, h);
}

} // namespace forms
