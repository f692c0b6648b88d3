#pragma once
// Message boxes, the folder dialog and the input box. Each is modal and may
// be called from any thread (it then runs on the UI thread).
#include <string>

namespace ui {

// Style flags, as the handlers pass them.
constexpr int kMbOk = 0;
constexpr int kMbOkCancel = 1;
constexpr int kMbAbortRetryIgnore = 2;
constexpr int kMbYesNoCancel = 3;
constexpr int kMbYesNo = 4;
constexpr int kMbRetryCancel = 5;
constexpr int kMbIconError = 0x10;
constexpr int kMbIconQuestion = 0x20;
constexpr int kMbIconWarning = 0x30;
constexpr int kMbIconInformation = 0x40;

// Results: the pressed button.
constexpr int kIdOk = 0;
constexpr int kIdCancel = 1;
constexpr int kIdAbort = 2;
constexpr int kIdRetry = 3;
constexpr int kIdIgnore = 4;
constexpr int kIdYes = 5;
constexpr int kIdNo = 6;

constexpr const char* kDefaultMessageTitle = "信息：";

// While the main window closes, no dialog is shown any more: each returns
// at once as if closed without an answer (message boxes: Cancel or the only
// button; dialogs: cancelled).
void suppressDialogs(bool suppressed);

int messageBox(const std::string& text, int flags = kMbOk,
               const std::string& title = kDefaultMessageTitle);

// The chosen folder's full path without a trailing separator (the root
// stays "/"), or the empty text when cancelled.
std::string folderDialog(const std::string& prompt, bool allowNewFolder = false);

struct InputResult {
    bool ok = false;
    std::string text;
};
InputResult inputBox(const std::string& prompt, const std::string& initial = std::string());

} // namespace ui
