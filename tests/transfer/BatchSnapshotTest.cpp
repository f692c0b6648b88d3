// A batch acts on what was chosen when it started: while its first file is
// held by the server, the user opens another folder on that side, and the
// batch still works on the rows and folders of its start.
#include "app/state/WorkerThreads.h"
#include "fileops/LocalDelete.h"
#include "ftp/EntryKind.h"
#include "local/LocalBrowser.h"
#include "local/LocalList.h"
#include "platform/LocalFiles.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace testsupport;

namespace {

// A scripted server holding a small tree in memory. The first command of
// the held verb waits until the test releases it, so a batch stays in its
// first file while the test works the window.
class HeldServer {
public:
    HeldServer() {
        folders_ = {"/", "/one", "/one/two"};
        files_ = {{"/one/a.txt", "one-a"}, {"/one/b.txt", "one-b"}, {"/one/two/a.txt", "two-a"},
                  {"/one/two/b.txt", "two-b"}};
        server.on("CWD", [this](ScriptedSession& s, const std::string& path) {
            std::lock_guard<std::mutex> lock(mutex_);
            s.reply(folders_.count(path) ? "250 ok" : "550 no such folder");
        });
        server.on("LIST", [this](ScriptedSession& s, const std::string& path) { s.serveData(listingOf(path)); });
        server.on("RETR", [this](ScriptedSession& s, const std::string& path) {
            holdIf("RETR");
            std::string bytes;
            if (!fileAt(path, bytes)) {
                s.reply("550 no such file");
                return;
            }
            s.serveData(bytes);
        });
        server.on("STOR", [this](ScriptedSession& s, const std::string& path) {
            holdIf("STOR");
            s.reply("150 send it");
            s.openData();
            const std::string bytes = s.receiveData();
            s.closeData();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                files_[path] = bytes;
            }
            s.reply("226 stored");
        });
        server.on("DELE", [this](ScriptedSession& s, const std::string& path) {
            holdIf("DELE");
            std::lock_guard<std::mutex> lock(mutex_);
            s.reply(files_.erase(path) ? "250 deleted" : "550 no such file");
        });
    }

    ~HeldServer() { release(); }

    // The next command of the verb waits for release(), which is to come
    // once holding() says it waits.
    void holdNext(const std::string& verb) {
        std::lock_guard<std::mutex> lock(mutex_);
        heldVerb_ = verb;
    }
    bool holding() const { return holding_; }
    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        wake_.notify_all();
    }

    bool has(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return files_.count(path) > 0;
    }
    std::string file(const std::string& path) {
        std::string bytes;
        fileAt(path, bytes);
        return bytes;
    }
    // The commands of the verb the server received, with their arguments.
    std::vector<std::string> commandsOf(const std::string& verb) const {
        std::vector<std::string> found;
        for (const std::string& line : server.commands())
            if (line.rfind(verb + " ", 0) == 0)
                found.push_back(line);
        return found;
    }

    ScriptedFtpServer server;

private:
    void holdIf(const std::string& verb) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (heldVerb_ != verb)
            return;
        heldVerb_.clear();
        released_ = false;
        holding_ = true;
        wake_.wait_for(lock, std::chrono::seconds(60), [this] { return released_; });
        holding_ = false;
    }

    bool fileAt(const std::string& path, std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = files_.find(path);
        if (found == files_.end())
            return false;
        bytes = found->second;
        return true;
    }

    std::string listingOf(const std::string& folder) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string prefix = folder == "/" ? "/" : folder + "/";
        std::string listing;
        for (const std::string& f : folders_)
            if (f.size() > prefix.size() && f.rfind(prefix, 0) == 0 && f.find('/', prefix.size()) == std::string::npos)
                listing += "drwxr-xr-x 2 u g 0 Jan 01 2024 " + f.substr(prefix.size()) + "\r\n";
        for (const auto& [path, bytes] : files_)
            if (path.rfind(prefix, 0) == 0 && path.find('/', prefix.size()) == std::string::npos)
                listing += "-rw-r--r-- 1 u g " + std::to_string(bytes.size()) + " Jan 01 2024 " +
                           path.substr(prefix.size()) + "\r\n";
        return listing;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::set<std::string> folders_;
    std::map<std::string, std::string> files_;
    std::string heldVerb_;
    std::atomic<bool> holding_{false};
    bool released_ = false;
};

int rowOf(const ui::ListControl& list, const std::string& name) {
    return list.findItem(name);
}

// The rows' names in order of name (the lists group and order them their
// own way).
std::vector<std::string> rowNames(const ui::ListControl& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.itemCount(); ++i)
        names.push_back(list.itemText(i));
    std::sort(names.begin(), names.end());
    return names;
}

void trigger(ConnectedWindow& c, const char* caption) {
    c.h.form()->findChild<QAction*>(QString::fromUtf8(caption))->trigger();
}

class BatchSnapshot : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.server.start());
        c = std::make_unique<ConnectedWindow>(site.server.port(), "u", "p", "/one");
        ASSERT_EQ(c->w().状态条1.paneText(0), "连接服务器成功");
        c->local.write("sub/a.txt", "sub-a");
        c->local.write("sub/b.txt", "sub-b");
        c->local.write("u1.txt", "u1");
        c->local.write("u2.txt", "u2");
        listLocalDirectory();
        ASSERT_GE(rowOf(c->w().远程文件框, "two"), 0);
    }

    // While the server holds the batch's first file: the user opens the
    // folder "two" on the remote side and "sub" on the local side. Then
    // the server goes on and the test waits for everything to end. With
    // listedAtOnce the remote list shows the rows of "two" before the batch
    // goes on, as when the listing wins the race for the connection.
    void openOtherFoldersWhileHeld(bool listedAtOnce = false) {
        ASSERT_TRUE(waitUntil([&] { return site.holding(); }, 20000));
        doubleClickRemoteRow(c->h, rowOf(c->w().远程文件框, "two"));
        doubleClickLocalRow(c->h, rowOf(c->w().上传文件框, "sub"));
        ASSERT_EQ(c->w().FTP目录框.text(), "/one/two");
        ASSERT_EQ(c->w().本地目录框.text(), c->local.file("sub"));
        if (listedAtOnce) {
            ui::ListControl& list = c->w().远程文件框;
            list.deleteAllItems();
            list.insertItem(-1, "a.txt", 5, kKindFile);
            list.insertItem(-1, "b.txt", 5, kKindFile);
        }
        site.release();
        ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }, 60000));
    }

    // Nothing of the folders opened meanwhile was touched.
    void expectNewFoldersUntouched() {
        for (const std::string& command : site.server.commands()) {
            if (command.rfind("LIST", 0) != 0 && command.rfind("CWD", 0) != 0) {
                EXPECT_EQ(command.find("/one/two"), std::string::npos) << command;
            }
        }
        EXPECT_EQ(site.file("/one/two/a.txt"), "two-a");
        EXPECT_EQ(site.file("/one/two/b.txt"), "two-b");
        EXPECT_EQ(c->local.read("sub/a.txt"), "sub-a");
        EXPECT_EQ(c->local.read("sub/b.txt"), "sub-b");
        EXPECT_EQ(rowNames(c->w().远程文件框), (std::vector<std::string>{"a.txt", "b.txt"}));
        EXPECT_EQ(rowNames(c->w().上传文件框), (std::vector<std::string>{"a.txt", "b.txt"}));
    }

    HeldServer site;
    std::unique_ptr<ConnectedWindow> c;
};

} // namespace

TEST_F(BatchSnapshot, TheDownloadButtonKeepsItsRowsAndFolders) {
    c->select("远程文件框", {"a.txt", "b.txt"});
    site.holdNext("RETR");
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("下载钮"), Qt::LeftButton);
    openOtherFoldersWhileHeld();
    EXPECT_EQ(site.commandsOf("RETR"), (std::vector<std::string>{"RETR /one/a.txt", "RETR /one/b.txt"}));
    EXPECT_EQ(c->local.read("a.txt"), "one-a");
    EXPECT_EQ(c->local.read("b.txt"), "one-b");
    EXPECT_TRUE(c->logHas("b.txt    下载成功"));
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数：2   失败个数：0");
    expectNewFoldersUntouched();
}

TEST_F(BatchSnapshot, SaveAsKeepsItsRowsAndFolders) {
    TempFolder chosen;
    DialogAnswerer answers;
    answers.queueFolder(chosen.path());
    c->select("远程文件框", {"a.txt", "b.txt"});
    site.holdNext("RETR");
    trigger(*c, "另存为(&L)");
    openOtherFoldersWhileHeld();
    EXPECT_EQ(site.commandsOf("RETR"), (std::vector<std::string>{"RETR /one/a.txt", "RETR /one/b.txt"}));
    EXPECT_EQ(chosen.read("a.txt"), "one-a");
    EXPECT_EQ(chosen.read("b.txt"), "one-b");
    expectNewFoldersUntouched();
}

TEST_F(BatchSnapshot, DownloadAllKeepsTheRowsOfItsStart) {
    site.holdNext("RETR");
    trigger(*c, "全部下载(&Q)");
    openOtherFoldersWhileHeld();
    EXPECT_EQ(site.commandsOf("RETR"), (std::vector<std::string>{"RETR /one/a.txt", "RETR /one/b.txt"}));
    EXPECT_EQ(c->local.read("a.txt"), "one-a");
    EXPECT_EQ(c->local.read("b.txt"), "one-b");
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数:2失败个数:1");  // the folder row counts as failed
    expectNewFoldersUntouched();
}

TEST_F(BatchSnapshot, DoubleClickDownloadsAndOpensTheFileOfItsStart) {
    FakeOpener opener;
    site.holdNext("RETR");
    doubleClickRemoteRow(c->h, rowOf(c->w().远程文件框, "b.txt"));
    openOtherFoldersWhileHeld();
    EXPECT_EQ(site.commandsOf("RETR"), (std::vector<std::string>{"RETR /one/b.txt"}));
    EXPECT_EQ(c->local.read("b.txt"), "one-b");
    EXPECT_EQ(opener.opened(), c->local.file("b.txt") + "\n");
    expectNewFoldersUntouched();
}

TEST_F(BatchSnapshot, TheUploadSendsTheRowsOfItsStartIntoItsFolder) {
    c->select("上传文件框", {"u1.txt", "u2.txt"});
    site.holdNext("STOR");
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("上传钮"), Qt::LeftButton);
    openOtherFoldersWhileHeld();
    EXPECT_EQ(site.commandsOf("STOR"), (std::vector<std::string>{"STOR /one/u1.txt", "STOR /one/u2.txt"}));
    EXPECT_EQ(site.file("/one/u2.txt"), "u2");
    // (The listing of "two" meanwhile sets the shared entry count, as
    // listings during an upload do: the upload's count is not checked.)
    EXPECT_TRUE(c->logHas("u2.txt”    上传成功"));
    // The remote list shows "two" now: no row for the files sent elsewhere.
    expectNewFoldersUntouched();
}

TEST_F(BatchSnapshot, AFolderUploadKeepsItsTreeAndFolder) {
    c->local.write("tree/t.txt", "t");
    listLocalDirectory();
    c->select("上传文件框", {"tree", "u1.txt"});
    site.holdNext("STOR");
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("上传钮"), Qt::LeftButton);
    openOtherFoldersWhileHeld();
    std::vector<std::string> stored = site.commandsOf("STOR");
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::string>{"STOR /one/tree/t.txt", "STOR /one/u1.txt"}));
    expectNewFoldersUntouched();
}

TEST_F(BatchSnapshot, TheRemoteDeleteRemovesOnlyTheRowsOfItsStart) {
    c->select("远程文件框", {"a.txt", "b.txt"});
    site.holdNext("DELE");
    trigger(*c, "删除文件或目录(&S)");
    openOtherFoldersWhileHeld(true);
    std::vector<std::string> deleted = site.commandsOf("DELE");
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(deleted, (std::vector<std::string>{"DELE /one/a.txt", "DELE /one/b.txt"}));
    EXPECT_FALSE(site.has("/one/a.txt"));
    EXPECT_TRUE(c->logHas("删除“a.txt”成功"));
    EXPECT_TRUE(c->logHas("删除“b.txt”成功"));
    // The rows of "two" stay in the list.
    expectNewFoldersUntouched();
}

// The local delete runs while its question is open: whatever changes the
// local list meanwhile (here the folder "sub" is opened), the rows chosen
// before the question go, and only they.
TEST_F(BatchSnapshot, TheLocalDeleteRemovesOnlyTheRowsChosenBeforeItsQuestion) {
    DialogAnswerer answers;
    answers.queue([this](QWidget* dialog) {
        showLocalFolder(c->local.file("sub"));
        listLocalDirectory();
        QTest::mouseClick(qobject_cast<QMessageBox*>(dialog)->button(QMessageBox::Yes), Qt::LeftButton);
    });
    c->select("上传文件框", {"u1.txt"});
    deleteLocalSelected();
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_FALSE(platform::pathExists(c->local.file("u1.txt")));
    EXPECT_EQ(c->local.read("u2.txt"), "u2");
    EXPECT_EQ(c->local.read("sub/a.txt"), "sub-a");
    EXPECT_EQ(c->local.read("sub/b.txt"), "sub-b");
    EXPECT_EQ(rowNames(c->w().上传文件框), (std::vector<std::string>{"a.txt", "b.txt"}));

    // "全部删除" the same way: the rows of the folder shown at the question.
    TempFolder elsewhere;
    elsewhere.write("x.txt", "x");
    elsewhere.write("y.txt", "y");
    showLocalFolder(c->local.path());
    listLocalDirectory();
    answers.queue([&](QWidget* dialog) {
        showLocalFolder(elsewhere.path());
        listLocalDirectory();
        QTest::mouseClick(qobject_cast<QMessageBox*>(dialog)->button(QMessageBox::Yes), Qt::LeftButton);
    });
    deleteLocalAll();
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_FALSE(platform::pathExists(c->local.file("u2.txt")));
    EXPECT_FALSE(platform::pathExists(c->local.file("sub")));
    EXPECT_EQ(elsewhere.read("x.txt"), "x");
    EXPECT_EQ(elsewhere.read("y.txt"), "y");
    EXPECT_EQ(rowNames(c->w().上传文件框), (std::vector<std::string>{"x.txt", "y.txt"}));
}

// Starting a batch of the other direction stops a running one after its
// current file (they share one stop flag): the stopped batch still ends
// with its own verdict and counts, and the log says how many of its chosen
// rows it never reached.
TEST_F(BatchSnapshot, AnUploadStoppedByADownloadSaysWhatItLeftUndone) {
    c->local.write("u3.txt", "u3");
    listLocalDirectory();
    c->select("上传文件框", {"u1.txt", "u2.txt", "u3.txt"});
    site.holdNext("STOR");
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("上传钮"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return site.holding(); }, 20000));
    c->select("远程文件框", {"a.txt"});
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("下载钮"), Qt::LeftButton);
    ASSERT_EQ(c->w().下载钮.caption(), "停止");
    site.holdNext("RETR");  // the download waits until the upload's end is seen
    site.release();
    ASSERT_TRUE(waitUntil([&] { return site.holding() && c->w().上传钮.caption() == "上传"; }, 20000));
    EXPECT_EQ(c->w().状态条1.paneText(1), "上传完毕!");
    EXPECT_EQ(c->w().状态条1.paneText(2), "上传数：1  失败数：0");
    EXPECT_TRUE(c->logHas("u1.txt”    上传成功"));
    EXPECT_TRUE(c->logHas("有2项未上传（已停止）"));
    site.release();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }, 20000));
    EXPECT_EQ(site.commandsOf("STOR"), std::vector<std::string>{"STOR /one/u1.txt"});
    EXPECT_EQ(c->local.read("a.txt"), "one-a");
}

TEST_F(BatchSnapshot, ADownloadStoppedByAnUploadSaysWhatItLeftUndone) {
    c->select("远程文件框", {"a.txt", "b.txt"});
    site.holdNext("RETR");
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("下载钮"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return site.holding(); }, 20000));
    c->select("上传文件框", {"u1.txt"});
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("上传钮"), Qt::LeftButton);
    site.holdNext("STOR");
    site.release();
    ASSERT_TRUE(waitUntil([&] { return site.holding() && c->w().下载钮.caption() == "下载"; }, 20000));
    EXPECT_EQ(c->w().状态条1.paneText(1), "下载完毕");
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数：1   失败个数：0");
    EXPECT_TRUE(c->logHas("有1项未下载（已停止）"));
    site.release();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }, 20000));
    EXPECT_EQ(site.commandsOf("RETR"), std::vector<std::string>{"RETR /one/a.txt"});
    EXPECT_EQ(site.file("/one/u1.txt"), "u1");
}
