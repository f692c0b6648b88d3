#include "app/forms/EnterKeyFilter.h"

#include <QKeyEvent>

namespace forms {

bool EnterKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            onEnter_();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace forms
