#pragma once
// Editable combo boxes with a drop-down list (the local folder box and the
// server name box).
#include "app/controls/WidgetControl.h"

#include <QComboBox>
#include <QPointer>

#include <string>

namespace ui {

class ComboControl : public WidgetControl {
public:
    void attach(QComboBox* combo);
    QComboBox* widget() const { return combo_.data(); }

    // Appends a list entry; returns its index, -1 on failure.
    int addItem(const std::string& text, long long value = 0);
    int itemCount() const;
    std::string itemText(int index) const;
    void removeItem(int index);
    // The edit part; setting it does not select a list entry.
    std::string text() const;
    void setText(const std::string& text);
    // The selected list entry or -1; setting it shows that entry's text. An
    // index outside the list selects nothing.
    int currentSelection() const;
    void setCurrentSelection(int index);

private:
    QPointer<QComboBox> combo_;
};

} // namespace ui
