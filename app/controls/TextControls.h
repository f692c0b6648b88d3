#pragma once
// Buttons, labels, edit boxes and the message log.
#include "app/controls/WidgetControl.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

#include <string>

namespace ui {

class ButtonControl : public WidgetControl {
public:
    void attach(QAbstractButton* button) { button_ = button; attachWidget(button); }
    std::string caption() const;
    void setCaption(const std::string& text);

private:
    QPointer<QAbstractButton> button_;
};

class LabelControl : public WidgetControl {
public:
    void attach(QLabel* label) { attachWidget(label); }
};

class EditControl : public WidgetControl {
public:
    void attach(QLineEdit* edit) { edit_ = edit; attachWidget(edit); }
    QLineEdit* widget() const { return edit_.data(); }
    std::string text() const;
    void setText(const std::string& text);

private:
    QPointer<QLineEdit> edit_;
};

// The multi-line message log.
class LogControl : public WidgetControl {
public:
    void attach(QPlainTextEdit* edit);
    QPlainTextEdit* widget() const { return edit_.data(); }
    std::string text() const;
    void setText(const std::string& text);
    // Moves the caret to the end and inserts the text there, so the view
    // scrolls to it.
    void appendText(const std::string& text);

private:
    void insertPending() const;

    QPointer<QPlainTextEdit> edit_;
    // Text appended less than an interval after the last insertion waits
    // here and goes into the widget with the next one: the widget lays out
    // every insertion, which made a line per deleted file cost more than
    // deleting it. Reading or replacing the text inserts what waits first,
    // so callers never see the difference.
    mutable QString pending_;
    mutable bool insertScheduled_ = false;
    mutable QElapsedTimer sinceInsert_;
};

} // namespace ui
