// Connect, disconnect and the remote list, through the real main window
// against real servers on 127.0.0.1.
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "ftp/EntryKind.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "ftp/handlers/CurrentSession.h"
#include "platform/LocalFiles.h"
#include "tests/support/FtpServers.h"
#include "tests/support/GuiHarness.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string pyftpdSetting(int port, const std::string& password = kPyFtpdPassword) {
    return "本地服务器|127.0.0.1|" + std::to_string(port) + "|" + kPyFtpdUser + "|" + password;
}

// Presses F5 and waits until pane 0 leaves "正在连接服务器..." and the
// connect worker has ended.
void connectWithF5(MainWindowHarness& h) {
    QTest::keyClick(h.form(), Qt::Key_F5);
    waitForWorkers(20000);
}

std::vector<std::string> rowNames(ui::ListControl& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.itemCount(); ++i)
        names.push_back(list.itemText(i));
    return names;
}

// The row with exactly this name (the list's own search ignores case).
int rowOf(ui::ListControl& list, const std::string& name) {
    for (int i = 0; i < list.itemCount(); ++i)
        if (list.itemText(i) == name)
            return i;
    return -1;
}

class RemoteListing : public ::testing::Test {
protected:
    void SetUp() override {
        site.makeFolder("pub/incoming");
        site.makeFolder("site.v2");
        site.makeFolder("目录");
        site.write("Makefile", "all:\n");
        site.write("photo.JPG", std::string(1000, 'j'));
        site.write("setup.EXE", std::string(512, 'x'));
        site.write("setup.exe", std::string(1536, 'y'));
        site.write(".hidden", "secret");
        site.write("中文文件.txt", std::string(1048576, 'z'));
        ASSERT_TRUE(server.start(site.path()));
        h.writeSetting("IP信息", pyftpdSetting(server.port()));
    }

    TempFolder site;
    PyFtpdServer server;
    MainWindowHarness h;
};

} // namespace

TEST_F(RemoteListing, ConnectShowsStartDirectoryWithDirectoriesFirst) {
    h.open();
    connectWithF5(h);
    MainWindow& w = h.controls();
    EXPECT_EQ(w.状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(w.window.title(), "Corvane——本地服务器");
    EXPECT_EQ(w.FTP目录框.text(), "/");
    EXPECT_EQ(appState().connected, 1);

    // Directories in the reverse of the server's order, then files in the
    // server's order (pyftpdlib lists in the folder's own order).
    std::vector<std::string> dirs, files;
    for (const auto& e : platform::listFolder(site.path())) {
        if (e.name[0] == '.')
            continue;
        ((e.attributes & platform::kAttrDirectory) ? dirs : files).push_back(e.name);
    }
    std::vector<std::string> expected(dirs.rbegin(), dirs.rend());
    expected.insert(expected.end(), files.begin(), files.end());
    EXPECT_EQ(rowNames(w.远程文件框), expected);
    EXPECT_EQ(w.状态条1.paneText(1), "文件数:" + std::to_string(expected.size()));
    EXPECT_EQ(w.远程文件框.findItem(".hidden"), -1);

    // Real types: Makefile is a file, site.v2 a directory.
    int makefile = rowOf(w.远程文件框, "Makefile");
    EXPECT_EQ(w.远程文件框.itemValue(makefile), kKindFile);
    EXPECT_EQ(w.远程文件框.itemImage(makefile), 5);
    EXPECT_EQ(w.远程文件框.itemText(makefile, 1), "0.005");
    int sitev2 = rowOf(w.远程文件框, "site.v2");
    EXPECT_EQ(w.远程文件框.itemValue(sitev2), kKindDirectory);
    EXPECT_EQ(w.远程文件框.itemImage(sitev2), 0);
    EXPECT_EQ(w.远程文件框.itemText(sitev2, 1), "");
    EXPECT_EQ(w.远程文件框.itemImage(rowOf(w.远程文件框, "photo.JPG")), 3);
    EXPECT_EQ(w.远程文件框.itemImage(rowOf(w.远程文件框, "setup.EXE")), 5);
    EXPECT_EQ(w.远程文件框.itemImage(rowOf(w.远程文件框, "setup.exe")), 4);
    EXPECT_EQ(w.远程文件框.itemText(rowOf(w.远程文件框, "setup.exe"), 1), "1.5");
    EXPECT_EQ(w.远程文件框.itemText(rowOf(w.远程文件框, "photo.JPG"), 1), "0.977");
    EXPECT_EQ(w.远程文件框.itemText(rowOf(w.远程文件框, "中文文件.txt"), 1), "1024");
    EXPECT_EQ(w.远程文件框.itemImage(rowOf(w.远程文件框, "中文文件.txt")), 7);
    EXPECT_FALSE(w.远程文件框.disabled());
}

TEST_F(RemoteListing, RememberedDirectoryIsEnteredOrReplaced) {
    h.writeSetting("服务器目录", "/pub/incoming");
    h.open();
    connectWithF5(h);
    EXPECT_EQ(h.controls().FTP目录框.text(), "/pub/incoming");
    EXPECT_EQ(h.controls().状态条1.paneText(1), "文件数:0");
    h.close();

    MainWindowHarness again;
    again.writeSetting("IP信息", pyftpdSetting(server.port()));
    again.writeSetting("服务器目录", "/gone/away");
    again.open();
    connectWithF5(again);
    EXPECT_EQ(again.controls().FTP目录框.text(), "/");
}

TEST_F(RemoteListing, FailedConnectsReportOnlyInPaneZero) {
    h.writeSetting("IP信息", pyftpdSetting(server.port(), "wrong"));
    h.open();
    connectWithF5(h);
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_EQ(h.controls().window.title(), "Corvane");
    EXPECT_EQ(appState().connected, 0);

    h.writeSetting("IP信息", "x|127.0.0.1|" + std::to_string(findFreePort()) + "|u|p");
    connectWithF5(h);
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器失败！");
}

TEST_F(RemoteListing, ConnectingAgainDropsTheOldConnectionEvenWhenItFails) {
    h.open();
    connectWithF5(h);
    ASSERT_TRUE(currentSession()->isConnected());
    h.writeSetting("IP信息", pyftpdSetting(server.port(), "wrong"));
    connectWithF5(h);
    EXPECT_FALSE(currentSession()->isConnected());
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器失败！");
    // The list and the title keep what they showed.
    EXPECT_GT(h.controls().远程文件框.itemCount(), 0);
}

TEST_F(RemoteListing, MissingOrShortSettingsDoNotConnect) {
    h.writeSetting("IP信息", "name|127.0.0.1|21|user");  // four fields
    h.open();
    DialogAnswerer answers;
    connectServer();
    EXPECT_EQ(answers.seen(), 0);
    EXPECT_EQ(h.controls().状态条1.paneText(0), "");
    h.writeSetting("IP信息", "");
    connectServer();
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "请设定要连接的FTP服务器");
    EXPECT_EQ(answers.titles()[0], "信息：");
}

TEST_F(RemoteListing, DisconnectThenRefreshShowsAnEmptyList) {
    h.open();
    connectWithF5(h);
    QTest::keyClick(h.form(), Qt::Key_F6);
    waitForWorkers();
    MainWindow& w = h.controls();
    EXPECT_EQ(w.状态条1.paneText(0), "已断开服务器");
    EXPECT_EQ(w.window.title(), "Corvane");
    EXPECT_EQ(w.远程文件框.itemCount(), 0);
    EXPECT_EQ(appState().connected, 1);
    h.form()->findChild<QAction*>("刷新(&A)")->trigger();
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "");
    EXPECT_EQ(w.远程文件框.itemCount(), 0);
    EXPECT_EQ(w.状态条1.paneText(1), "文件数:0");
    // A second disconnect does nothing.
    disconnectServer();
    waitForWorkers();
    EXPECT_EQ(w.状态条1.paneText(0), "已断开服务器");
}

TEST_F(RemoteListing, NavigatesByDoubleClickUpButtonAndTypedPath) {
    site.write("pub/incoming/inside.txt", "1");
    h.open();
    connectWithF5(h);
    MainWindow& w = h.controls();

    doubleClickRemoteRow(h, rowOf(w.远程文件框, "site.v2"));
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "/site.v2");
    EXPECT_EQ(w.状态条1.paneText(1), "文件数:0");
    EXPECT_FALSE(w.远程文件框.disabled());

    w.FTP目录框.setText("/pub/incoming");
    QTest::keyClick(h.form()->findChild<QLineEdit*>("FTP目录框"), Qt::Key_Return);
    waitForWorkers();
    EXPECT_EQ(rowNames(w.远程文件框), std::vector<std::string>{"inside.txt"});

    auto* up = h.form()->findChild<QPushButton*>("反退钮");
    QTest::mouseClick(up, Qt::LeftButton);
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "/pub");
    EXPECT_EQ(rowNames(w.远程文件框), std::vector<std::string>{"incoming"});
    EXPECT_TRUE(up->isEnabled());

    w.FTP目录框.setText("/pub/");
    QTest::mouseClick(up, Qt::LeftButton);
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "/");

    QTest::mouseClick(up, Qt::LeftButton);  // the root stays
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "/");
    EXPECT_TRUE(up->isEnabled());

    doubleClickRemoteRow(h, rowOf(w.远程文件框, "目录"));
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "/目录");
}

TEST_F(RemoteListing, VsftpdListingWithNumericOwners) {
    VsftpdServer vs;
    if (!vs.available())
        GTEST_SKIP() << "vsftpd needs root";
    TempFolder root;
    root.makeFolder("pub/docs");
    root.write("pub/readme", "plain file without a dot");
    root.write("pub/a b.txt", "spaces");
    ASSERT_TRUE(vs.start(root.path())) << vs.errors();
    h.writeSetting("IP信息", "vs|127.0.0.1|" + std::to_string(vs.port()) + "|anonymous|x");
    h.writeSetting("服务器目录", "/pub");
    h.open();
    connectWithF5(h);
    MainWindow& w = h.controls();
    ASSERT_EQ(w.状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(w.FTP目录框.text(), "/pub");
    EXPECT_EQ(w.远程文件框.itemValue(rowOf(w.远程文件框, "docs")), kKindDirectory);
    EXPECT_EQ(w.远程文件框.itemValue(rowOf(w.远程文件框, "readme")), kKindFile);
    EXPECT_EQ(w.远程文件框.itemValue(rowOf(w.远程文件框, "a b.txt")), kKindFile);
    EXPECT_EQ(w.远程文件框.itemText(0), "docs");
}

// Anonymous servers take an empty password; the setting joined with it
// ends in "|" and still names five fields.
TEST_F(RemoteListing, AnEmptyPasswordConnects) {
    VsftpdServer vs;
    if (!vs.available())
        GTEST_SKIP() << "vsftpd needs root";
    TempFolder root;
    root.write("pub/readme.txt", "x");
    ASSERT_TRUE(vs.start(root.path())) << vs.errors();
    h.writeSetting("IP信息", "vs|127.0.0.1|" + std::to_string(vs.port()) + "|anonymous|");
    h.writeSetting("服务器目录", "/pub");
    h.open();
    connectWithF5(h);
    MainWindow& w = h.controls();
    ASSERT_EQ(w.状态条1.paneText(0), "连接服务器成功");
    EXPECT_GE(rowOf(w.远程文件框, "readme.txt"), 0);
}
