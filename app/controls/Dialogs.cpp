#include "app/controls/Dialogs.h"
#include "app/controls/UiThread.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>
#include <utility>
#include <vector>

namespace ui {
namespace {

std::atomic<bool> dialogsSuppressed{false};

QWidget* ownerWindow() {
    if (QWidget* w = QApplication::activeWindow())
        return w;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == "MainWindow")
            return w;
    return nullptr;
}

std::vector<std::pair<QMessageBox::StandardButton, int>> buttonsFor(int flags) {
    switch (flags & 0x0F) {
    case kMbOkCancel:
        return {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
    case kMbAbortRetryIgnore:
        return {{QMessageBox::Abort, kIdAbort}, {QMessageBox::Retry, kIdRetry}, {QMessageBox::Ignore, kIdIgnore}};
    case kMbYesNoCancel:
        return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}};
    case kMbYesNo:
        return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
    case kMbRetryCancel:
        return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
    default:
        return {{QMessageBox::Ok, kIdOk}};
    }
}

QMessageBox::Icon iconFor(int flags) {
    switch (flags & 0xF0) {
    case kMbIconError: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconWarning: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

// Closing the box without a button counts as Cancel where there is one,
// else as the only button.
int escapeResult(int flags) {
    auto buttons = buttonsFor(flags);
    for (auto& b : buttons)
        if (b.second == kIdCancel)
            return kIdCancel;
    return buttons.size() == 2 && buttons[1].second == kIdNo ? kIdNo : buttons.front().second;
}

} // namespace

void suppressDialogs(bool suppressed) {
    dialogsSuppressed = suppressed;
}

int messageBox(const std::string& text, int flags, const std::string& title) {
    int result = escapeResult(flags);
    if (dialogsSuppressed)
        return result;
    runOnUiThread([&] {
        // Checked again here: a worker's call posted just before the window
        // began to close runs while the close waits for the workers, and a
        // box shown then would wait for an answer nobody can give.
        if (dialogsSuppressed)
            return;
        QMessageBox box(ownerWindow());
        box.setObjectName("messageBox");
        box.setWindowTitle(QString::fromStdString(title));
        box.setText(QString::fromStdString(text));
        box.setIcon(iconFor(flags));
        box.setWindowModality(Qt::ApplicationModal);
        auto buttons = buttonsFor(flags);
        for (auto& b : buttons)
            box.addButton(b.first);
        box.exec();
        QAbstractButton* clicked = box.clickedButton();
        for (auto& b : buttons)
            if (clicked && clicked == box.button(b.first))
                result = b.second;
    });
    return result;
}

std::string folderDialog(const std::string& prompt, bool allowNewFolder) {
    std::string result;
    if (dialogsSuppressed)
        return result;
    runOnUiThread([&] {
        if (dialogsSuppressed)
            return;
        QFileDialog dialog(ownerWindow(), QString::fromStdString(prompt));
        dialog.setObjectName("folderDialog");
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setOption(QFileDialog::ReadOnly, !allowNewFolder);
        dialog.setWindowModality(Qt::ApplicationModal);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        QString path = dialog.selectedFiles().front();
        while (path.size() > 1 && path.endsWith('/'))
            path.chop(1);
        result = path.toStdString();
    });
    return result;
}

InputResult inputBox(const std::string& prompt, const std::string& initial) {
    InputResult result;
    if (dialogsSuppressed)
        return result;
    runOnUiThread([&] {
        if (dialogsSuppressed)
            return;
        QInputDialog dialog(ownerWindow());
        dialog.setObjectName("inputBox");
        dialog.setWindowTitle(QApplication::applicationDisplayName());
        dialog.setLabelText(QString::fromStdString(prompt));
        dialog.setTextValue(QString::fromStdString(initial));
        dialog.setWindowModality(Qt::ApplicationModal);
        result.ok = dialog.exec() == QDialog::Accepted;
        result.text = dialog.textValue().toStdString();
    });
    return result;
}

} // namespace ui
