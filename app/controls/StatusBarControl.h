#pragma once
// The three-pane status bar. Pane texts double as state, so the text last
// set is what is read back.
#include "app/controls/WidgetControl.h"

#include <QLabel>
#include <QPointer>

#include <string>
#include <vector>

namespace ui {

class StatusBarControl : public WidgetControl {
public:
    void attach(QWidget* bar, const std::vector<QLabel*>& panes);
    int paneCount() const { return static_cast<int>(panes_.size()); }
    // An index outside the panes does nothing / reads as empty.
    void setPaneText(int pane, const std::string& text = std::string());
    std::string paneText(int pane) const;

private:
    std::vector<QPointer<QLabel>> panes_;
};

} // namespace ui
