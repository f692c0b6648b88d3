#include "app/MainWindowHandlers.h"
#include "app/WindowBindings.h"
#include "app/controls/Dialogs.h"
#include "app/forms/ServerManagerForm.h"
#include "app/forms/ServerManagerWindow.h"
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "tests/support/GuiHarness.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace testsupport;

namespace {

void resizeClient(MainWindowForm& form, int w, int h) {
    form.resize(w, h + form.menuBar()->height());
    QApplication::processEvents();
}

QAction* action(MainWindowForm& form, const char* caption) {
    return form.findChild<QAction*>(QString::fromUtf8(caption));
}

} // namespace

// Menu items are bound by caption: a caption spelt differently in the form
// and in the bindings would leave a command that does nothing.
TEST(MainWindow, EveryMenuItemIsBoundAndEveryBindingHasItsItem) {
    MainWindowHarness h;
    h.open();
    const MainWindowEvents events = mainWindowEvents();
    for (const auto& [caption, item] : h.controls().menuItems)
        EXPECT_TRUE(events.menuItems.count(caption) && events.menuItems.at(caption)) << caption;
    for (const auto& [caption, action] : events.menuItems)
        EXPECT_TRUE(h.controls().menuItems.count(caption)) << caption;
    EXPECT_EQ(events.menuItems.size(), h.controls().menuItems.size());
}

TEST(MainWindow, RelayoutAt800x600) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    resizeClient(form, 800, 600);
    ASSERT_EQ(form.client()->size(), QSize(800, 600));
    MainWindow& w = h.controls();
    EXPECT_EQ(w.上传文件框.height(), 419);
    EXPECT_EQ(w.远程文件框.height(), 419);
    EXPECT_EQ(w.上传文件框.width(), 360);
    EXPECT_EQ(w.远程文件框.width(), 360);
    EXPECT_EQ(w.远程文件框.left(), 440);
    EXPECT_EQ(w.本地目录框.width(), 320);
    EXPECT_EQ(w.消息框.top(), 502);
    EXPECT_EQ(w.消息框.width(), 800);
    EXPECT_EQ(w.浏览钮.left(), 367);
    EXPECT_EQ(w.FTP目录框.width(), 318);
    EXPECT_EQ(w.FTP目录框.left(), 480);
    EXPECT_EQ(w.上传钮.left(), 367);
    EXPECT_EQ(w.下载钮.left(), 367);
    EXPECT_EQ(w.标签5.left(), 440);
    EXPECT_EQ(w.进度条1.top(), 574);
    EXPECT_EQ(w.进度条1.width(), 800);
    // Controls the table leaves alone keep their design geometry.
    EXPECT_EQ(w.本地目录框.left(), 44);
    EXPECT_EQ(w.本地目录框.top(), 39);
    EXPECT_EQ(w.反退钮.top(), 40);
}

TEST(MainWindow, RelayoutTruncatesOddWidthsTowardZero) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    resizeClient(form, 801, 600);
    EXPECT_EQ(h.controls().上传文件框.width(), 360);
    EXPECT_EQ(h.controls().远程文件框.left(), 440);
    resizeClient(form, 803, 601);
    EXPECT_EQ(h.controls().上传文件框.width(), 361);
    EXPECT_EQ(h.controls().上传文件框.height(), 420);
    EXPECT_EQ(h.controls().进度条1.top(), 575);
}

TEST(MainWindow, StartsEmptyWithoutSettingsFile) {
    MainWindowHarness h;
    h.open();
    MainWindow& w = h.controls();
    EXPECT_EQ(w.上传文件框.itemCount(), 0);
    EXPECT_EQ(w.远程文件框.itemCount(), 0);
    EXPECT_EQ(w.本地目录框.text(), "");
    EXPECT_EQ(w.本地目录框.itemCount(), 0);
    EXPECT_EQ(w.FTP目录框.text(), "");
    EXPECT_FALSE(w.menuItem("启动窗口自动连接(&Q)").checked());
    EXPECT_EQ(w.window.title(), "Corvane");
    EXPECT_NE(w.消息框.text(), "");  // the start-up line
    EXPECT_EQ(appState().settingsPath.get(), h.settingsPath());
}

TEST(MainWindow, RestoresHistorySkippingEmptyParts) {
    MainWindowHarness h;
    h.folder().makeFolder("a");
    h.folder().makeFolder("b");
    const std::string a = h.folder().file("a"), b = h.folder().file("b");
    h.writeSetting("本地目录", "," + a + ",," + b);
    h.writeSetting("服务器目录", "/pub/中文");
    h.writeSetting("自动连接", "是");
    h.open();
    MainWindow& w = h.controls();
    ASSERT_EQ(w.本地目录框.itemCount(), 2);
    EXPECT_EQ(w.本地目录框.itemText(0), a);
    EXPECT_EQ(w.本地目录框.itemText(1), b);
    EXPECT_EQ(w.本地目录框.text(), a);
    EXPECT_EQ(w.本地目录框.currentSelection(), -1);
    EXPECT_EQ(w.FTP目录框.text(), "/pub/中文");
    EXPECT_FALSE(w.menuItem("启动窗口自动连接(&Q)").checked());
}

TEST(MainWindow, AllEmptyHistoryPartsLeaveTheBoxEmpty) {
    MainWindowHarness h;
    h.writeSetting("本地目录", ",,");
    h.writeSetting("自动连接", "真");
    DialogAnswerer answers;  // the automatic connect finds no server set
    h.open();
    EXPECT_EQ(h.controls().本地目录框.itemCount(), 0);
    EXPECT_EQ(h.controls().本地目录框.text(), "");
    EXPECT_TRUE(h.controls().menuItem("启动窗口自动连接(&Q)").checked());
}

TEST(MainWindow, AutoConnectToggleStoresTheMark) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    QAction* item = action(form, "启动窗口自动连接(&Q)");
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(h.readSetting("自动连接"), "真");
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(h.readSetting("自动连接"), "假");
}

TEST(MainWindow, CloseWritesRemotePathEvenWhenDisconnected) {
    MainWindowHarness h;
    h.open();
    h.controls().FTP目录框.setText("/incoming/新建");
    h.close();
    EXPECT_EQ(h.readSetting("服务器目录"), "/incoming/新建");
}

TEST(MainWindow, HelpAndAboutShowTheirBoxes) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    DialogAnswerer answers;
    action(form, "使用帮助(&B)")->trigger();
    action(form, "关于(&G)")->trigger();
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.texts()[0], "上传文件，可直接点上传按钮。");
    EXPECT_EQ(answers.titles()[0], "使用说明");
    EXPECT_EQ(answers.titles()[1], "关于");
    EXPECT_FALSE(answers.texts()[1].empty());
}

TEST(MainWindow, MenusToolbarAndShortcutsAreInPlace) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    const char* captions[] = {"连接(&L)", "断开(&D)", "启动窗口自动连接(&Q)", "FTP服务器管理(&F)",
                              "上传(&C)", "打开(&D)", "用记事本打开(&Y)", "删除(&S)", "全部删除(&Q)",
                              "选择目录(&X)", "刷新(&X)", "下载(&X)", "全部下载(&Q)", "另存为(&L)",
                              "创建目录(&C)", "删除文件或目录(&S)", "重命名(&M)", "刷新(&A)",
                              "使用帮助(&B)", "关于(&G)"};
    for (const char* c : captions)
        EXPECT_NE(action(form, c), nullptr) << c;
    EXPECT_EQ(action(form, "连接(&L)")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(action(form, "断开(&D)")->shortcut(), QKeySequence(Qt::Key_F6));
    EXPECT_EQ(action(form, "FTP服务器管理(&F)")->shortcut(), QKeySequence("Ctrl+G"));
    auto* bar = form.findChild<QToolBar*>("工具条1");
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 5);
    EXPECT_TRUE(bar->actions()[2]->isSeparator());
    EXPECT_EQ(bar->actions()[0]->text(), "连接");
    EXPECT_EQ(bar->actions()[4]->text(), "下载");
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
}

TEST(MainWindow, CtrlGOpensOneServerManagerWithItsControls) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    form.activateWindow();
    QTest::keyClick(&form, Qt::Key_G, Qt::ControlModifier);
    QApplication::processEvents();
    ServerManagerForm* manager = ServerManagerForm::instance();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->windowTitle(), "FTP服务器管理");
    EXPECT_EQ(manager->parentWidget(), &form);
    EXPECT_EQ(serverManagerWindow().编辑框_端口.text(), "21");
    EXPECT_EQ(serverManagerWindow().按钮3.caption(), "连接");
    EXPECT_EQ(serverManagerWindow().编辑框_服务器地址.left(), 87);
    // A second Ctrl+G shows the same window.
    QTest::keyClick(&form, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(ServerManagerForm::instance(), manager);
    QTest::mouseClick(manager->findChild<QPushButton*>("按钮2"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(waitUntil([] { return ServerManagerForm::instance() == nullptr; }, 2000));
}

TEST(MainWindow, ServerManagerBoxesRefuseTypingBeyondTheirByteLimits) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    openServerManager();
    ServerManagerForm* manager = ServerManagerForm::instance();
    ASSERT_NE(manager, nullptr);
    auto* address = manager->findChild<QLineEdit*>("编辑框_服务器地址");
    QTest::keyClicks(address, "0123456789abcdefghijKLMNOP");
    EXPECT_EQ(address->text(), "0123456789abcdefghij");
    auto* password = manager->findChild<QLineEdit*>("编辑框_密码");
    typeText(password, "密码密码密码密码密码密码");  // two bytes each
    EXPECT_EQ(password->text(), "密码密码密码密码密码");
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    auto* user = manager->findChild<QLineEdit*>("编辑框_用户名");
    QTest::keyClicks(user, QString(30, 'u'));
    EXPECT_EQ(user->text().size(), 26);
    auto* port = manager->findChild<QLineEdit*>("编辑框_端口");
    port->clear();
    QTest::keyClicks(port, "1234567890123");
    EXPECT_EQ(port->text(), "123456789012");
    auto* name = manager->findChild<QComboBox*>("组合框_服务器名称");
    typeText(name->lineEdit(), QString(31, QChar(0x4E2D)));  // 31 x 中
    EXPECT_EQ(name->currentText().size(), 30);
    // Text set by the program is not cut.
    serverManagerWindow().编辑框_服务器地址.setText(std::string(30, 'x'));
    EXPECT_EQ(address->text().size(), 30);
    manager->close();
    (void)form;
}

TEST(MainWindow, EscapeClosesTheWindow) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    h.controls().FTP目录框.setText("/esc");
    form.activateWindow();
    QTest::keyClick(&form, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(h.readSetting("服务器目录"), "/esc");
}

TEST(MainWindow, ClosingWhileAWorkerIsBusyWithTheUiDoesNotHang) {
    MainWindowHarness h;
    h.open();
    std::atomic<int> calls{0};
    startWorker([&calls] {
        // Keeps making synchronous control calls until asked to stop.
        while (!workersStopping()) {
            mainWindow().状态条1.setPaneText(1, "busy " + std::to_string(calls.load()));
            mainWindow().上传文件框.insertItem(-1, "row");
            ++calls;
        }
        // Calls after the window is gone do nothing and return.
        mainWindow().状态条1.setPaneText(1, "late");
    });
    ASSERT_TRUE(waitUntil([&] { return calls > 20; }, 5000));
    h.close();
    EXPECT_EQ(runningWorkers(), 0);
    EXPECT_EQ(mainWindow().状态条1.paneText(1), "");
}

TEST(MainWindow, WorkersAskingQuestionsWhileTheWindowClosesGetNoDialog) {
    MainWindowHarness h;
    h.open();
    std::atomic<int> answer{-1};
    startWorker([&answer] {
        while (!workersStopping())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Asked after the close began: answered at once, nothing shown.
        answer = ui::messageBox("still there?", ui::kMbYesNo);
    });
    h.close();
    EXPECT_EQ(runningWorkers(), 0);
    EXPECT_EQ(answer, ui::kIdNo);
}
