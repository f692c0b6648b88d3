#include "app/controls/TextControls.h"
#include "app/controls/UiThread.h"

#include <QScrollBar>
#include <QTextCursor>

namespace ui {

std::string ButtonControl::caption() const {
    std::string r;
    runOnUiThread([&] { if (auto* b = button_.data()) r = b->text().toStdString(); });
    return r;
}

void ButtonControl::setCaption(const std::string& text) {
    runOnUiThread([&] { if (auto* b = button_.data()) b->setText(QString::fromStdString(text)); });
}

void ButtonControl::click() {
    runOnUiThread([&] { if (auto* b = button_.data()) b->click(); });
}

std::string LabelControl::caption() const {
    std::string r;
    runOnUiThread([&] { if (auto* l = label_.data()) r = l->text().toStdString(); });
    return r;
}

std::string EditControl::text() const {
    std::string r;
    runOnUiThread([&] { if (auto* e = edit_.data()) r = e->text().toStdString(); });
    return r;
}

void EditControl::setText(const std::string& text) {
    runOnUiThread([&] { if (auto* e = edit_.data()) e->setText(QString::fromStdString(text)); });
}

std::string LogControl::text() const {
    std::string r;
    runOnUiThread([&] { if (auto* e = edit_.data()) r = e->toPlainText().toStdString(); });
    return r;
}

void LogControl::setText(const std::string& text) {
    runOnUiThread([&] { if (auto* e = edit_.data()) e->setPlainText(QString::fromStdString(text)); });
}

void LogControl::appendText(const std::string& text) {
    runOnUiThread([&] {
        QPlainTextEdit* e = edit_;
        if (!e)
            return;
        QTextCursor cursor = e->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(QString::fromStdString(text));
        e->setTextCursor(cursor);
        e->ensureCursorVisible();
    });
}

} // namespace ui
