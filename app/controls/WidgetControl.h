#pragma once
// Properties every control has: position, size and the disabled state.
#include <QPointer>
#include <QWidget>

namespace ui {

class WidgetControl {
public:
    void attachWidget(QWidget* widget) { base_ = widget; }

    int left() const;
    int top() const;
    int width() const;
    int height() const;
    void setLeft(int value);
    void setTop(int value);
    void setWidth(int value);
    void setHeight(int value);
    bool disabled() const;
    void setDisabled(bool value);

private:
    QPointer<QWidget> base_;
};

} // namespace ui
