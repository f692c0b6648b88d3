#include "app/controls/ComboControl.h"
#include "app/controls/UiThread.h"

#include <QLineEdit>

namespace ui {
namespace {

// The selected entry is tracked apart from QComboBox's current index: typing
// in the edit part leaves no entry selected, and selecting nothing must not
// clear the edit text.
constexpr const char* kSelection = "corvaneSelection";

int selectionOf(const QComboBox* c) {
    QVariant v = c->property(kSelection);
    return v.isValid() ? v.toInt() : -1;
}

} // namespace

void ComboControl::attach(QComboBox* combo) {
    combo_ = combo;
    attachWidget(combo);
    combo->setProperty(kSelection, -1);
    QObject::connect(combo, qOverload<int>(&QComboBox::activated), combo,
                     [combo](int index) { combo->setProperty(kSelection, index); });
    if (QLineEdit* edit = combo->lineEdit())
        QObject::connect(edit, &QLineEdit::textEdited, combo,
                         [combo] { combo->setProperty(kSelection, -1); });
}

int ComboControl::addItem(const std::string& text, long long value) {
    int r = -1;
    runOnUiThread([&] {
        QComboBox* c = combo_;
        if (!c)
            return;
        QString edit = c->currentText();
        c->addItem(QString::fromStdString(text), value);
        // Adding the first entry would make Qt show it; the edit part keeps
        // what it showed.
        c->setEditText(edit);
        r = c->count() - 1;
    });
    return r;
}

int ComboControl::itemCount() const {
    int r = 0;
    runOnUiThread([&] { if (QComboBox* c = combo_) r = c->count(); });
    return r;
}

std::string ComboControl::itemText(int index) const {
    std::string r;
    runOnUiThread([&] {
        QComboBox* c = combo_;
        if (c && index >= 0 && index < c->count())
            r = c->itemText(index).toStdString();
    });
    return r;
}

void ComboControl::removeItem(int index) {
    runOnUiThread([&] {
        QComboBox* c = combo_;
        if (!c || index < 0 || index >= c->count())
            return;
        QString edit = c->currentText();
        c->removeItem(index);
        c->setEditText(edit);
        int sel = selectionOf(c);
        if (sel == index)
            c->setProperty(kSelection, -1);
        else if (sel > index)
            c->setProperty(kSelection, sel - 1);
    });
}

std::string ComboControl::text() const {
    std::string r;
    runOnUiThread([&] { if (QComboBox* c = combo_) r = c->currentText().toStdString(); });
    return r;
}

void ComboControl::setText(const std::string& text) {
    runOnUiThread([&] {
        if (QComboBox* c = combo_)
            c->setEditText(QString::fromStdString(text));
    });
}

int ComboControl::currentSelection() const {
    int r = -1;
    runOnUiThread([&] { if (QComboBox* c = combo_) r = selectionOf(c); });
    return r;
}

void ComboControl::setCurrentSelection(int index) {
    runOnUiThread([&] {
        QComboBox* c = combo_;
        if (!c)
            return;
        if (index < 0 || index >= c->count()) {
            c->setProperty(kSelection, -1);
            return;
        }
        c->setCurrentIndex(index);
        c->setEditText(c->itemText(index));
        c->setProperty(kSelection, index);
    });
}

} // namespace ui
