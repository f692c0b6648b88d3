#include "app/controls/StatusBarControl.h"
#include "app/controls/UiThread.h"

namespace ui {

void StatusBarControl::attach(QWidget* bar, const std::vector<QLabel*>& panes) {
    attachWidget(bar);
    panes_.clear();
    for (QLabel* p : panes)
        panes_.emplace_back(p);
}

void StatusBarControl::setPaneText(int pane, const std::string& text) {
    runOnUiThread([&] {
        if (pane < 0 || pane >= paneCount())
            return;
        if (QLabel* label = panes_[static_cast<size_t>(pane)])
            label->setText(QString::fromStdString(text));
    });
}

std::string StatusBarControl::paneText(int pane) const {
    std::string r;
    runOnUiThread([&] {
        if (pane < 0 || pane >= paneCount())
            return;
        if (QLabel* label = panes_[static_cast<size_t>(pane)])
            r = label->text().toStdString();
    });
    return r;
}

} // namespace ui
