#include "app/controls/TextControls.h"
#include "app/controls/UiThread.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

namespace ui {

std::string ButtonControl::caption() const {
    std::string r;
    runOnUiThread([&] { if (auto* b = button_.data()) r = b->text().toStdString(); });
    return r;
}

void ButtonControl::setCaption(const std::string& text) {
    runOnUiThread([&] { if (auto* b = button_.data()) b->setText(QString::fromStdString(text)); });
}

std::string EditControl::text() const {
    std::string r;
    runOnUiThread([&] { if (auto* e = edit_.data()) r = e->text().toStdString(); });
    return r;
}

void EditControl::setText(const std::string& text) {
    runOnUiThread([&] { if (auto* e = edit_.data()) e->setText(QString::fromStdString(text)); });
}

namespace {

// Appended text shows at most this late.
constexpr int kLogInsertIntervalMs = 25;

} // namespace

void LogControl::attach(QPlainTextEdit* edit) {
    edit_ = edit;
    attachWidget(edit);
    pending_.clear();
    insertScheduled_ = false;
    sinceInsert_.invalidate();
}

std::string LogControl::text() const {
    std::string r;
    runOnUiThread([&] {
        insertPending();
        if (auto* e = edit_.data())
            r = e->toPlainText().toStdString();
    });
    return r;
}

void LogControl::setText(const std::string& text) {
    runOnUiThread([&] {
        pending_.clear();
        if (auto* e = edit_.data())
            e->setPlainText(QString::fromStdString(text));
    });
}

void LogControl::appendText(const std::string& text) {
    runOnUiThread([&] {
        QPlainTextEdit* e = edit_;
        if (!e)
            return;
        pending_ += QString::fromStdString(text);
        if (!sinceInsert_.isValid() || sinceInsert_.elapsed() >= kLogInsertIntervalMs) {
            insertPending();
            return;
        }
        if (insertScheduled_)
            return;
        insertScheduled_ = true;
        const int wait = static_cast<int>(kLogInsertIntervalMs - sinceInsert_.elapsed());
        QTimer::singleShot(wait, e, [this] {
            insertScheduled_ = false;
            insertPending();
        });
    });
}

void LogControl::insertPending() const {
    QPlainTextEdit* e = edit_;
    if (!e || pending_.isEmpty())
        return;
    QTextCursor cursor = e->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(pending_);
    e->setTextCursor(cursor);
    e->ensureCursorVisible();
    pending_.clear();
    sinceInsert_.start();
}

} // namespace ui
