#pragma once
// Helpers for tests that drive the real windows offscreen.
#include "app/forms/MainWindow.h"
#include "app/forms/MainWindowForm.h"
#include "tests/support/TempFolder.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class MainWindowHarness;

// The waits every window of the tests retries with (and waits for a server
// at its connection limit with), unless a test sets others.
inline const std::vector<int> kTestRetryWaitsMs{50, 100, 200};
inline const std::vector<int> kTestConnectionLimitWaitsMs{100, 200, 300, 400};

// Processes events until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Processes events for a while.
void pump(int milliseconds);

// The centre of a row of a report list, in its viewport's coordinates.
QPoint listRowCentre(QTreeView* list, int row);

// A real double click (a click, then the second press as a double click) on
// a row of the remote list, or of the local list.
void doubleClickRemoteRow(MainWindowHarness& h, int row);
void doubleClickLocalRow(MainWindowHarness& h, int row);

// Drags the URLs (and text) onto the upload list's viewport as another
// application would; returns whether the drop was accepted.
bool dropOnLocalList(MainWindow& w, const QList<QUrl>& urls, const QString& text = QString());

// "xdg-open" first on PATH, recording the file it was asked to open.
class FakeOpener {
public:
    FakeOpener();
    // The file it was asked to open and a line break; waits for it a while.
    std::string opened();

    TempFolder bin;
};

// Types the text into the widget one key press per character, like a user
// would (works for characters without a key of their own, such as Chinese).
void typeText(QWidget* widget, const QString& text);

// The longest the UI thread may go without processing its events while a
// remote operation runs; the sanitizer builds run several times slower.
#ifdef CORVANE_SANITIZED_BUILD
constexpr int kUiAnswerMs = 400;
#else
constexpr int kUiAnswerMs = 100;
#endif

// A 10 ms timer on the UI thread that records the longest gap between its
// ticks: how long the window went without answering.
class UiHeartbeat {
public:
    UiHeartbeat();
    qint64 longestGapMs() const;

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// A main window of its own: the executable folder (where the settings file
// and the server book live) is a fresh temporary folder, the application
// state is new, and closing the window waits for its workers.
class MainWindowHarness {
public:
    MainWindowHarness();
    ~MainWindowHarness();

    // Writes a setting before the window opens (the file's section "shuji").
    void writeSetting(const std::string& key, const std::string& value) const;
    std::string readSetting(const std::string& key) const;

    // Creates and shows the window (runs its created handler).
    MainWindowForm& open();
    // Closes it (runs the close handler) and deletes it.
    void close();

    MainWindowForm* form() const { return form_.data(); }
    MainWindow& controls() const;
    const TempFolder& folder() const { return folder_; }
    std::string settingsPath() const { return folder_.path() + "/wangluo.ini"; }

private:
    TempFolder folder_;
    QPointer<MainWindowForm> form_;
};

// Answers modal dialogs as they appear, in order, and records their texts.
// Without a queued answer a dialog is closed with its default answer
// (OK / Cancel).
class DialogAnswerer {
public:
    DialogAnswerer();
    ~DialogAnswerer();

    // The action receives the modal dialog and must close it.
    void queue(std::function<void(QWidget*)> action);
    void queueButton(QMessageBox::StandardButton button);
    void queueFolder(const std::string& path);     // accepts a folder dialog with this folder
    void queueInput(const std::string& text);      // accepts an input box with this text
    void queueCancel();

    // Texts of the message boxes and input-box prompts seen so far.
    const std::vector<std::string>& texts() const { return texts_; }
    const std::vector<std::string>& titles() const { return titles_; }
    int seen() const { return static_cast<int>(texts_.size()); }

private:
    void poll();

    QTimer timer_;
    std::deque<std::function<void(QWidget*)>> actions_;
    std::vector<std::string> texts_;
    std::vector<std::string> titles_;
    QPointer<QWidget> handled_;
};

} // namespace testsupport
