#include "tests/support/GuiHarness.h"

#include "app/WindowBindings.h"
#include "app/controls/UiThread.h"
#include "app/settings/SettingsFile.h"
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/KeepAlive.h"
#include "platform/LocalFiles.h"
#include "platform/SystemPaths.h"
#include "transfer/Retry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace testsupport {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

namespace {

void doubleClickRow(MainWindowHarness& h, const char* listName, ui::ListControl& list, int row) {
    auto* tree = h.form()->findChild<QTreeView*>(listName);
    tree->clearSelection();
    list.selectItem(row);
    const QPoint centre = listRowCentre(tree, row);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

} // namespace

void doubleClickRemoteRow(MainWindowHarness& h, int row) {
    doubleClickRow(h, "远程文件框", h.controls().远程文件框, row);
}

void doubleClickLocalRow(MainWindowHarness& h, int row) {
    doubleClickRow(h, "上传文件框", h.controls().上传文件框, row);
}

bool dropOnLocalList(MainWindow& w, const QList<QUrl>& urls, const QString& text) {
    QWidget* viewport = w.上传文件框.widget()->viewport();
    QMimeData mime;
    if (!urls.isEmpty())
        mime.setUrls(urls);
    if (!text.isEmpty())
        mime.setText(text);
    const QPointF at(20, 20);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted();
}

FakeOpener::FakeOpener() {
    bin.write("xdg-open", "#!/bin/sh\necho \"$1\" > '" + bin.file("opened") + ".tmp'\nmv '" + bin.file("opened") +
                              ".tmp' '" + bin.file("opened") + "'\n");
    ::chmod(bin.file("xdg-open").c_str(), 0755);
    const char* path = std::getenv("PATH");
    ::setenv("PATH", (bin.path() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
}

std::string FakeOpener::opened() {
    waitUntil([&] { return platform::pathExists(bin.file("opened")); }, 5000);
    return platform::pathExists(bin.file("opened")) ? bin.read("opened") : std::string();
}

void pump(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

QPoint listRowCentre(QTreeView* list, int row) {
    return list->visualRect(list->model()->index(row, 0)).center();
}

void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

UiHeartbeat::UiHeartbeat() {
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, clock_.restart()); });
    timer_.start(10);
}

qint64 UiHeartbeat::longestGapMs() const {
    return std::max(longest_, clock_.elapsed());
}

MainWindowHarness::MainWindowHarness() {
    ui::initUiThread();
    platform::overrideExecutableFolder(folder_.path());
    resetAppState();
    resetWorkers();
    // Retries and waits for a full server as the program makes them, in
    // moments instead of seconds; a test that needs others sets its own.
    setBatchRetrySchedule(RetrySchedule{kTestRetryWaitsMs});
    setConnectionLimitWaits(kTestConnectionLimitWaitsMs);
}

MainWindowHarness::~MainWindowHarness() {
    close();
    waitForWorkers(30000);
    platform::overrideExecutableFolder(std::string());
    // A test sets keep-alive times before its window opens: the next
    // window starts from the program's own.
    setKeepAliveTimes(KeepAliveTimes{});
}

void MainWindowHarness::writeSetting(const std::string& key, const std::string& value) const {
    settings::writeValue(settingsPath(), "shuji", key, value);
}

std::string MainWindowHarness::readSetting(const std::string& key) const {
    return settings::readValue(settingsPath(), "shuji", key, "");
}

MainWindowForm& MainWindowHarness::open() {
    form_ = new MainWindowForm(mainWindowEvents());
    form_->show();
    QApplication::processEvents();
    return *form_;
}

void MainWindowHarness::close() {
    if (!form_)
        return;
    form_->close();
    delete form_.data();
    QApplication::processEvents();
}

MainWindow& MainWindowHarness::controls() const {
    return mainWindow();
}

DialogAnswerer::DialogAnswerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(10);
}

DialogAnswerer::~DialogAnswerer() {
    timer_.stop();
}

void DialogAnswerer::queue(std::function<void(QWidget*)> action) {
    actions_.push_back(std::move(action));
}

void DialogAnswerer::queueButton(QMessageBox::StandardButton button) {
    queue([button](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box && box->button(button))
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        else if (auto* d = qobject_cast<QDialog*>(dialog))
            d->reject();
    });
}

void DialogAnswerer::queueFolder(const std::string& path) {
    queue([path](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            if (auto* d = qobject_cast<QDialog*>(dialog))
                d->reject();
            return;
        }
        // Typing the path into the dialog's name box, as a user would.
        files->setDirectory(QString::fromStdString(path));
        if (auto* name = files->findChild<QLineEdit*>("fileNameEdit"))
            name->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(files, "accept");
    });
}

void DialogAnswerer::queueInput(const std::string& text) {
    queue([text](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        if (input) {
            input->setTextValue(QString::fromStdString(text));
            input->accept();
        } else if (auto* d = qobject_cast<QDialog*>(dialog)) {
            d->reject();
        }
    });
}

void DialogAnswerer::queueCancel() {
    queue([](QWidget* dialog) {
        if (auto* d = qobject_cast<QDialog*>(dialog))
            d->reject();
    });
}

void DialogAnswerer::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == handled_.data() || !modal->isVisible())
        return;
    handled_ = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        texts_.push_back(box->text().toStdString());
    else if (auto* input = qobject_cast<QInputDialog*>(modal))
        texts_.push_back(input->labelText().toStdString());
    else
        texts_.push_back(std::string());
    titles_.push_back(modal->windowTitle().toStdString());

    std::function<void(QWidget*)> action;
    if (!actions_.empty()) {
        action = std::move(actions_.front());
        actions_.pop_front();
    }
    QPointer<QWidget> target = modal;
    // Answer from the event loop, not from inside the dialog's show.
    QTimer::singleShot(0, modal, [target, action] {
        if (!target)
            return;
        if (action) {
            action(target.data());
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(target.data());
        if (box && box->button(QMessageBox::Ok))
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        else if (auto* d = qobject_cast<QDialog*>(target.data()))
            d->reject();
    });
}

} // namespace testsupport
