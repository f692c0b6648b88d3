#pragma once
// Key-down handling of the two path boxes: Enter runs the handler and is
// consumed (no newline, no beep, no item inserted); every other key reaches
// the control unchanged.
#include <QObject>

#include <functional>

namespace forms {

class EnterKeyFilter : public QObject {
public:
    EnterKeyFilter(std::function<void()> onEnter, QObject* parent)
        : QObject(parent), onEnter_(std::move(onEnter)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onEnter_;
};

} // namespace forms
