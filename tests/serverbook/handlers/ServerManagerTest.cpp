// The server manager window driven offscreen: the server book file beside
// the executable, the list of names and the hand-over to the connect flow.
#include "app/MainWindowHandlers.h"
#include "app/forms/ServerManagerForm.h"
#include "app/forms/ServerManagerWindow.h"
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "platform/LocalFiles.h"
#include "serverbook/RecordDatabase.h"
#include "tests/serverbook/DbTestFiles.h"
#include "tests/support/FtpServers.h"
#include "tests/support/GuiHarness.h"
#include "tests/support/UnwritableFolder.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

using namespace testsupport;
using serverbook::RecordDatabase;

namespace {

class ServerManager : public ::testing::Test {
protected:
    void SetUp() override { h.open(); }

    ServerManagerForm* openManager() {
        openServerManager();
        return ServerManagerForm::instance();
    }

    void click(const char* name) {
        QTest::mouseClick(ServerManagerForm::instance()->findChild<QPushButton*>(name), Qt::LeftButton);
    }

    void fill(const std::string& name, const std::string& address, const std::string& port,
              const std::string& user, const std::string& password) {
        ServerManagerWindow& w = serverManagerWindow();
        w.组合框_服务器名称.setText(name);
        w.编辑框_服务器地址.setText(address);
        w.编辑框_端口.setText(port);
        w.编辑框_用户名.setText(user);
        w.编辑框_密码.setText(password);
    }

    // Picks an entry from the drop-down as a user does: the list item
    // selected event follows.
    void pick(int index) {
        auto* combo = ServerManagerForm::instance()->findChild<QComboBox*>("组合框_服务器名称");
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    std::string bookPath() const { return h.folder().file("ipsjk.edb"); }

    mode_t bookMode() const {
        struct stat st {};
        ::stat(bookPath().c_str(), &st);
        return st.st_mode & 07777;
    }

    MainWindowHarness h;
    DialogAnswerer answers;
};

} // namespace

TEST_F(ServerManager, FirstOpeningCreatesTheBookAndSelectsNothing) {
    ASSERT_FALSE(platform::pathExists(bookPath()));
    ServerManagerForm* form = openManager();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(platform::fileSize(bookPath()), 476);
    EXPECT_TRUE(appState().serverBook.isOpen());
    EXPECT_EQ(serverManagerWindow().组合框_服务器名称.itemCount(), 0);
    EXPECT_EQ(serverManagerWindow().组合框_服务器名称.currentSelection(), -1);
    form->close();
    EXPECT_FALSE(appState().serverBook.isOpen());
    EXPECT_EQ(answers.seen(), 0);
}

TEST_F(ServerManager, SavingTwiceAddsOneRecordAndUpdatesIt) {
    openManager();
    fill("家里", "192.168.1.2", "21", "user", "pw");
    click("按钮4");
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "已保存");
    EXPECT_EQ(platform::fileSize(bookPath()), 618);
    fill("家里", "10.0.0.9", "2121", "user", "pw2");
    click("按钮4");
    EXPECT_EQ(answers.seen(), 1);  // an update says nothing
    EXPECT_EQ(platform::fileSize(bookPath()), 618);
    EXPECT_EQ(serverManagerWindow().组合框_服务器名称.itemCount(), 1);
    // A name differing only in case is another server.
    fill("家里X", "h", "21", "u", "p");
    click("按钮4");
    fill("jiaLI", "h", "21", "u", "p");
    click("按钮4");
    fill("JIALI", "h", "21", "u", "p");
    click("按钮4");
    EXPECT_EQ(serverManagerWindow().组合框_服务器名称.itemCount(), 4);
    ServerManagerForm::instance()->close();

    // Reopened: the names in record order, the updated values shown.
    openManager();
    ServerManagerWindow& w = serverManagerWindow();
    ASSERT_EQ(w.组合框_服务器名称.itemCount(), 4);
    EXPECT_EQ(w.组合框_服务器名称.itemText(0), "家里");
    EXPECT_EQ(w.组合框_服务器名称.itemText(3), "JIALI");
    pick(0);
    EXPECT_EQ(w.编辑框_服务器地址.text(), "10.0.0.9");
    EXPECT_EQ(w.编辑框_端口.text(), "2121");
    EXPECT_EQ(w.编辑框_密码.text(), "pw2");
    EXPECT_EQ(h.readSetting("当前IP"), "0");
}

TEST_F(ServerManager, IncompleteSaveAndConnectAreRefused) {
    openManager();
    fill("name", "", "21", "u", "p");
    click("按钮4");
    fill("", "host", "21", "u", "");
    click("按钮3");
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.texts()[0], "请输入完整信息再保存");
    EXPECT_EQ(answers.texts()[1], "请输入完整信息!");
    EXPECT_NE(ServerManagerForm::instance(), nullptr);
    click("按钮5");  // nothing selected
    EXPECT_EQ(answers.texts().back(), "请选择要删除的服务器名");
}

TEST_F(ServerManager, DeletingSelectsTheNeighbourOrClearsTheBoxes) {
    openManager();
    for (const char* n : {"a", "b", "c", "d"}) {
        fill(n, std::string("host-") + n, "21", "u", "p");
        click("按钮4");
    }
    ServerManagerWindow& w = serverManagerWindow();
    pick(3);  // the last: the new last one is selected
    click("按钮5");
    ASSERT_EQ(w.组合框_服务器名称.itemCount(), 3);
    EXPECT_EQ(w.组合框_服务器名称.currentSelection(), 2);
    EXPECT_EQ(w.编辑框_服务器地址.text(), "host-c");
    pick(1);  // the middle: the one that moved into its place is selected
    click("按钮5");
    ASSERT_EQ(w.组合框_服务器名称.itemCount(), 2);
    EXPECT_EQ(w.组合框_服务器名称.currentSelection(), 1);
    EXPECT_EQ(w.组合框_服务器名称.itemText(1), "c");
    EXPECT_EQ(w.编辑框_服务器地址.text(), "host-c");
    EXPECT_EQ(h.readSetting("当前IP"), "1");
    pick(0);
    click("按钮5");
    ASSERT_EQ(w.组合框_服务器名称.itemCount(), 1);
    click("按钮5");  // the only one
    EXPECT_EQ(w.组合框_服务器名称.itemCount(), 0);
    EXPECT_EQ(w.组合框_服务器名称.text(), "");
    EXPECT_EQ(w.编辑框_服务器地址.text(), "");
    EXPECT_EQ(w.编辑框_端口.text(), "");
    EXPECT_EQ(w.编辑框_用户名.text(), "");
    EXPECT_EQ(w.编辑框_密码.text(), "");
    // Purged at once: the file holds no record.
    EXPECT_EQ(platform::fileSize(bookPath()), 476);
}

TEST_F(ServerManager, CurrentIpBeyondTheListSelectsNothing) {
    h.writeSetting("当前IP", "7");
    h.writeSetting("IP数据", "legacy|1.2.3.4|21|other|5.6.7.8|21");
    openManager();
    ServerManagerWindow& w = serverManagerWindow();
    ASSERT_EQ(w.组合框_服务器名称.itemCount(), 2);
    EXPECT_EQ(w.组合框_服务器名称.itemText(0), "legacy");
    EXPECT_EQ(w.组合框_服务器名称.itemText(1), "other");
    EXPECT_EQ(w.组合框_服务器名称.currentSelection(), -1);
    EXPECT_EQ(w.编辑框_服务器地址.text(), "");
    EXPECT_EQ(w.编辑框_端口.text(), "21");
    pick(0);  // a legacy name without a record does nothing
    EXPECT_EQ(w.编辑框_服务器地址.text(), "");
}

TEST_F(ServerManager, ConnectWritesTheBoxesAsTheyStandAndCloses) {
    openManager();
    fill("", "127.0.0.1", "1", "user", "p|w");
    click("按钮3");
    EXPECT_EQ(h.readSetting("IP信息"), "|127.0.0.1|1|user|p|w");
    EXPECT_TRUE(waitUntil([] { return ServerManagerForm::instance() == nullptr; }, 2000));
    EXPECT_FALSE(appState().serverBook.isOpen());
    waitForWorkers(20000);
    // The connect ran and failed on the closed port.
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器失败！");
}

TEST_F(ServerManager, ExistingGbkBookFromWindowsOpens) {
    // A book written elsewhere: built by our engine here, then read through
    // the window (the byte-level GBK case is covered by the engine tests).
    ASSERT_TRUE(RecordDatabase::create(bookPath(), {{"服务器名", 10, 60}, {"IP", 10, 20}, {"端口", 10, 12},
                                                    {"用户名", 10, 26}, {"密码", 10, 20}}));
    ASSERT_TRUE(RecordDatabase::open(bookPath()));
    ASSERT_TRUE(RecordDatabase::append({std::string("公司服务器"), std::string("ftp.example.cn"),
                                        std::string("21"), std::string("张三"), std::string("密码")}));
    RecordDatabase::close();
    h.writeSetting("当前IP", "0");
    openManager();
    ServerManagerWindow& w = serverManagerWindow();
    ASSERT_EQ(w.组合框_服务器名称.itemCount(), 1);
    EXPECT_EQ(w.组合框_服务器名称.text(), "公司服务器");
    EXPECT_EQ(w.编辑框_用户名.text(), "张三");
    EXPECT_EQ(w.编辑框_密码.text(), "密码");
}

TEST_F(ServerManager, TheBookIsCreatedPrivateAndAnExistingOneKeepsItsMode) {
    const mode_t oldMask = ::umask(022);
    openManager();
    ::umask(oldMask);
    EXPECT_EQ(bookMode(), 0600u);
    ServerManagerForm::instance()->close();

    ASSERT_EQ(::chmod(bookPath().c_str(), 0640), 0);
    openManager();
    fill("家里", "192.168.1.2", "21", "user", "pw");
    click("按钮4");
    ServerManagerForm::instance()->close();
    EXPECT_EQ(platform::fileSize(bookPath()), 618);
    EXPECT_EQ(bookMode(), 0640u);
}

// A link at the book's name that leads nowhere: the book is not created
// through it somewhere else.
TEST_F(ServerManager, ADanglingLinkAtTheBookNameIsNotWrittenThrough) {
    testsupport::TempFolder elsewhere;
    const std::string target = elsewhere.file("stolen.edb");
    ASSERT_EQ(::symlink(target.c_str(), bookPath().c_str()), 0);
    openManager();
    ServerManagerForm::instance()->close();
    EXPECT_FALSE(platform::pathExists(target));
}

TEST_F(ServerManager, EuroOfChineseWindowsSurvivesSavingAndCountsOneByte) {
    // The byte 0x80 is how code page 936 writes "€".
    const std::string oldPassword = "pa\x80ss";
    h.folder().write("ipsjk.edb", dbtest::serverBookStart(1, 2) +
                                      dbtest::serverRecord(1, "home", "10.0.0.1", "21", "me", oldPassword));
    h.writeSetting("当前IP", "0");
    openManager();
    ServerManagerWindow& w = serverManagerWindow();
    EXPECT_EQ(w.编辑框_密码.text(), "pa€ss");
    w.编辑框_端口.setText("2121");
    click("按钮4");  // saving the record again keeps the password's bytes
    const std::string record = h.folder().read("ipsjk.edb").substr(476);
    EXPECT_EQ(record.substr(84, 5), std::string("2121\0", 5));
    EXPECT_EQ(record.substr(122, 6), oldPassword + '\0');

    // The password box holds 20 bytes: twenty euro signs.
    auto* box = ServerManagerForm::instance()->findChild<QLineEdit*>("编辑框_密码");
    box->clear();
    typeText(box, QString(25, QChar(0x20AC)));
    EXPECT_EQ(box->text(), QString(20, QChar(0x20AC)));
    click("按钮4");
    EXPECT_EQ(h.folder().read("ipsjk.edb").substr(476 + 122, 20), std::string(20, '\x80'));
    ServerManagerForm::instance()->close();
    openManager();
    EXPECT_EQ(serverManagerWindow().编辑框_密码.text(), QString(20, QChar(0x20AC)).toStdString());
}

namespace {

int linesWith(const std::string& log, const std::string& text) {
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
        ++n;
    return n;
}

} // namespace

// The settings file cannot be written (a read-only folder): "连接" still
// connects to the server the manager shows, not to the one the file names
// from before, and so do later connects; the log says once for each
// setting that it was not kept, and nothing else changes.
TEST_F(ServerManager, TheShownServerConnectsWhenTheSettingsCannotBeWritten) {
    TempFolder siteA, siteB;
    siteA.write("on-a.txt", "a");
    siteB.write("on-b.txt", "b");
    PyFtpdServer a, b;
    ASSERT_TRUE(a.start(siteA.path()));
    ASSERT_TRUE(b.start(siteB.path()));
    h.writeSetting("IP信息", "甲|127.0.0.1|" + std::to_string(a.port()) + "|" + kPyFtpdUser + "|" + kPyFtpdPassword);
    UnwritableFolder locked(h.folder().path());
    if (!locked.made())
        GTEST_SKIP() << "the folder cannot be made unwritable here";
    MainWindow& w = h.controls();

    openManager();
    fill("乙", "127.0.0.1", std::to_string(b.port()), kPyFtpdUser, kPyFtpdPassword);
    click("按钮3");
    ASSERT_TRUE(waitUntil([&] { return w.状态条1.paneText(0) == "连接服务器成功" && runningWorkers() == 0; }));
    EXPECT_EQ(w.window.title(), "Corvane——乙");
    EXPECT_GE(w.远程文件框.findItem("on-b.txt"), 0);
    EXPECT_EQ(w.远程文件框.findItem("on-a.txt"), -1);
    const std::string unsaved = "设置“IP信息”无法保存到“" + h.settingsPath() + "”";
    EXPECT_EQ(linesWith(w.消息框.text(), unsaved), 1);
    EXPECT_NE(h.readSetting("IP信息").find(std::to_string(a.port())), std::string::npos);  // the file as it was

    // Connecting again (menu "连接") keeps to the server chosen; toggles
    // that cannot be kept are said once each.
    h.form()->findChild<QAction*>("连接(&L)")->trigger();
    ASSERT_TRUE(waitUntil([&] { return w.状态条1.paneText(0) == "连接服务器成功" && runningWorkers() == 0; }));
    EXPECT_EQ(w.window.title(), "Corvane——乙");
    h.form()->findChild<QAction*>("启动窗口自动连接(&Q)")->trigger();
    h.form()->findChild<QAction*>("启动窗口自动连接(&Q)")->trigger();
    EXPECT_EQ(linesWith(w.消息框.text(), "设置“自动连接”无法保存到“" + h.settingsPath() + "”"), 1);
    EXPECT_EQ(linesWith(w.消息框.text(), unsaved), 1);
}

// A server book kept as a link is written through: the link stays, the
// book it leads to gets the new server.
TEST_F(ServerManager, ABookKeptAsALinkIsWrittenThrough) {
    TempFolder elsewhere;
    openManager();
    ServerManagerForm::instance()->close();
    ASSERT_EQ(::rename(bookPath().c_str(), elsewhere.file("book.edb").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.file("book.edb").c_str(), bookPath().c_str()), 0);
    openManager();
    fill("家里", "192.168.1.2", "21", "user", "pw");
    click("按钮4");
    ASSERT_FALSE(answers.texts().empty());
    EXPECT_EQ(answers.texts().back(), "已保存");
    ServerManagerForm::instance()->close();
    struct stat st {};
    ASSERT_EQ(::lstat(bookPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(platform::fileSize(elsewhere.file("book.edb")), 618);
    openManager();
    EXPECT_EQ(serverManagerWindow().组合框_服务器名称.itemText(0), "家里");
    ServerManagerForm::instance()->close();
}
