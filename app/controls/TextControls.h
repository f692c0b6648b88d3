#pragma once
// Buttons, labels, edit boxes and the message log.
#include "app/controls/WidgetControl.h"

#include <QAbstractButton>
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
    void click();

private:
    QPointer<QAbstractButton> button_;
};

class LabelControl : public WidgetControl {
public:
    void attach(QLabel* label) { label_ = label; attachWidget(label); }
    std::string caption() const;

private:
    QPointer<QLabel> label_;
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
    void attach(QPlainTextEdit* edit) { edit_ = edit; attachWidget(edit); }
    QPlainTextEdit* widget() const { return edit_.data(); }
    std::string text() const;
    void setText(const std::string& text);
    // Moves the caret to the end and inserts the text there, so the view
    // scrolls to it.
    void appendText(const std::string& text);

private:
    QPointer<QPlainTextEdit> edit_;
};

} // namespace ui
