// Delete, rename, make directory and open through the real main window.
#include "app/state/AppState.h"
#include "fileops/LocalDelete.h"
#include "fileops/TextEditor.h"
#include "ftp/EntryKind.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/RemoteListing.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/support/FolderLoop.h"
#include "tests/support/ScriptedFileTree.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Upload.h"

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace testsupport;

namespace {

void trigger(ConnectedWindow& c, const char* caption) {
    c.h.form()->findChild<QAction*>(QString::fromUtf8(caption))->trigger();
}

bool deleteEnded(ConnectedWindow& c) {
    return runningWorkers() == 0 && c.w().状态条1.paneText(1) != "正在删除文件...";
}

int countCommand(const ScriptedFtpServer& server, const std::string& line) {
    int n = 0;
    for (const std::string& command : server.commands())
        n += command == line;
    return n;
}

class RemoteFileOps : public ::testing::Test {
protected:
    void SetUp() override {
        site.write("pub/a/x.txt", "x");
        site.write("pub/a/b/y.txt", "y");
        site.write("pub/README", "a file without a dot");
        site.write("pub/keep.txt", "k");
        site.write("a/b.txt", "b");
        site.write("a/other.txt", "o");
        ASSERT_TRUE(server.start(site.path()));
        c = std::make_unique<ConnectedWindow>(server.port(), kPyFtpdUser, kPyFtpdPassword, "/pub");
        ASSERT_EQ(c->w().状态条1.paneText(0), "连接服务器成功");
    }

    TempFolder site;
    PyFtpdServer server;
    std::unique_ptr<ConnectedWindow> c;
};

} // namespace

TEST_F(RemoteFileOps, AFolderGoesWithEverythingBelowIt) {
    c->select("远程文件框", {"a"});
    trigger(*c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(*c); }));
    EXPECT_EQ(c->logLines(), (std::vector<std::string>{
                                 "删除“/pub/a/b/y.txt”文件成功",
                                 "删除“/pub/a/x.txt”文件成功",
                                 "删除“/pub/a/b”目录成功",
                                 "删除“/pub/a”目录成功",
                             }));
    EXPECT_EQ(c->w().远程文件框.findItem("a"), -1);
    EXPECT_EQ(c->w().状态条1.paneText(1), "删除文件：4个");
    EXPECT_FALSE(platform::pathExists(site.file("pub/a")));
}

// The server's MLSD calls a link to a folder a folder; the walk must not go
// through it, nor through a selected row that is such a link: nothing outside
// the chosen folder is touched.
TEST_F(RemoteFileOps, LinksAreRemovedAsLinksAndNeverWalked) {
    site.write("outside/keep.txt", "k");
    site.write("outside/sub/deep.txt", "d");
    ASSERT_EQ(::symlink("../../outside", site.file("pub/a/lnk").c_str()), 0);
    ASSERT_EQ(::symlink("../outside", site.file("pub/tolink").c_str()), 0);
    refreshRemote();
    waitForWorkers();
    ASSERT_GE(c->w().远程文件框.findItem("tolink"), 0);
    c->select("远程文件框", {"a", "tolink"});
    trigger(*c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(*c); }));
    EXPECT_TRUE(platform::pathExists(site.file("outside/keep.txt")));
    EXPECT_TRUE(platform::pathExists(site.file("outside/sub/deep.txt")));
    EXPECT_FALSE(platform::isSymlink(site.file("pub/tolink")));
    EXPECT_FALSE(platform::pathExists(site.file("pub/a")));
    EXPECT_TRUE(c->logHas("删除“/pub/a/lnk”链接成功"));
    EXPECT_TRUE(c->logHas("删除“tolink”成功"));
    EXPECT_EQ(c->w().远程文件框.findItem("tolink"), -1);
}

TEST_F(RemoteFileOps, NamesWithBlanksAndChineseCharacters) {
    site.write("pub/新 文件夹/说明 文件.txt", "x");
    refreshRemote();
    waitForWorkers();
    c->select("远程文件框", {"新 文件夹"});
    trigger(*c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(*c); }));
    EXPECT_EQ(c->logLines(), (std::vector<std::string>{"删除“/pub/新 文件夹/说明 文件.txt”文件成功",
                                                      "删除“/pub/新 文件夹”目录成功"}));
    EXPECT_FALSE(platform::pathExists(site.file("pub/新 文件夹")));
    EXPECT_EQ(c->w().状态条1.paneText(1), "删除文件：2个");
}

TEST_F(RemoteFileOps, ADotlessFileIsDeletedAsAFile) {
    c->select("远程文件框", {"README", "keep.txt"});
    // Rows are handled from the last selected to the first.
    const bool readmeFirst = c->w().远程文件框.findItem("README") < c->w().远程文件框.findItem("keep.txt");
    trigger(*c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(*c); }));
    EXPECT_FALSE(platform::pathExists(site.file("pub/README")));
    EXPECT_FALSE(platform::pathExists(site.file("pub/keep.txt")));
    std::vector<std::string> expected{"删除“keep.txt”成功", "删除“README”成功"};
    if (!readmeFirst)
        std::swap(expected[0], expected[1]);
    EXPECT_EQ(c->logLines(), expected);
    EXPECT_EQ(c->w().状态条1.paneText(1), "删除文件：2个");
}

TEST_F(RemoteFileOps, NoSelectionAsksForOne) {
    DialogAnswerer answers;
    trigger(*c, "删除文件或目录(&S)");
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "请选择欲删除的文件!");
}

TEST_F(RemoteFileOps, RenameSendsTheTypedNameAndReloads) {
    c->w().FTP目录框.setText("/a");
    remotePathEntered();
    waitForWorkers();
    DialogAnswerer answers;
    answers.queueInput("c.txt");
    c->select("远程文件框", {"b.txt"});
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.texts()[0], "请输入新文件名");
    EXPECT_EQ(answers.texts()[1], "修改成功");
    EXPECT_EQ(site.read("a/c.txt"), "b");
    EXPECT_FALSE(platform::pathExists(site.file("a/b.txt")));
    EXPECT_GE(c->w().远程文件框.findItem("c.txt"), 0);
    EXPECT_EQ(c->w().远程文件框.findItem("b.txt"), -1);
    // A refused rename says so and still reloads.
    answers.queueInput("");
    c->select("远程文件框", {"c.txt"});
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    EXPECT_EQ(answers.texts().back(), "修改失败");
    // The list was reloaded, so nothing is selected: nothing happens.
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    EXPECT_EQ(answers.seen(), 4);
    // Cancelled: no message follows.
    c->select("远程文件框", {"c.txt"});
    answers.queueCancel();
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    EXPECT_EQ(answers.seen(), 5);
    EXPECT_EQ(answers.texts().back(), "请输入新文件名");
}

// A new name that another row of the list already has would replace that
// entry: the user is asked first, and No changes nothing.
TEST_F(RemoteFileOps, RenameOntoAListedNameAsksFirst) {
    c->w().FTP目录框.setText("/a");
    remotePathEntered();
    waitForWorkers();
    DialogAnswerer answers;
    answers.queueInput("OTHER.txt");
    answers.queueButton(QMessageBox::No);
    c->select("远程文件框", {"b.txt"});
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.texts()[1], "“OTHER.txt”已存在，要替换它吗？");
    EXPECT_EQ(answers.titles()[1], "询问：");
    EXPECT_EQ(site.read("a/b.txt"), "b");
    EXPECT_EQ(site.read("a/other.txt"), "o");
    EXPECT_GE(c->w().远程文件框.findItem("b.txt"), 0);

    answers.queueInput("other.txt");
    answers.queueButton(QMessageBox::Yes);
    c->select("远程文件框", {"b.txt"});
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    ASSERT_EQ(answers.seen(), 5);
    EXPECT_EQ(answers.texts()[4], "修改成功");
    EXPECT_EQ(site.read("a/other.txt"), "b");
    EXPECT_FALSE(platform::pathExists(site.file("a/b.txt")));

    // A name no other row has, and the row's own name in other letter
    // case, are renamed without a question.
    answers.queueInput("Other.TXT");
    c->select("远程文件框", {"other.txt"});
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    ASSERT_EQ(answers.seen(), 7);
    EXPECT_EQ(answers.texts()[6], "修改成功");
    EXPECT_EQ(site.read("a/Other.TXT"), "b");
}

// After a folder upload the connection stands in the uploaded folder; a
// rename's new name still lands in the folder shown.
TEST_F(RemoteFileOps, RenameLandsInTheFolderShownAfterAnUpload) {
    site.makeFolder("pub/docs");  // entered by the upload's probe
    c->local.write("docs/d.txt", "d");
    listLocalDirectory();
    c->select("上传文件框", {"docs"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c->w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    ASSERT_EQ(site.read("pub/docs/d.txt"), "d");
    DialogAnswerer answers;
    answers.queueInput("kept.txt");
    c->select("远程文件框", {"keep.txt"});
    trigger(*c, "重命名(&M)");
    waitForWorkers();
    EXPECT_EQ(site.read("pub/kept.txt"), "k");
    EXPECT_FALSE(platform::pathExists(site.file("pub/docs/kept.txt")));
}

TEST_F(RemoteFileOps, MakeDirectoryInsertsItsRowAtTheSelection) {
    DialogAnswerer answers;
    const int before = c->w().远程文件框.itemCount();
    c->w().远程文件框.selectItem(1);
    answers.queueInput("x");
    trigger(*c, "创建目录(&C)");
    waitForWorkers();
    EXPECT_TRUE(std::filesystem::is_directory(site.file("pub/x")));
    EXPECT_EQ(c->w().远程文件框.itemText(1), "x");
    EXPECT_EQ(c->w().远程文件框.itemImage(1), 0);
    EXPECT_EQ(c->w().远程文件框.itemCount(), before + 1);

    c->select("远程文件框", {});
    answers.queueInput("y 目录");
    trigger(*c, "创建目录(&C)");
    waitForWorkers();
    EXPECT_EQ(c->w().远程文件框.itemText(before + 1), "y 目录");
    EXPECT_TRUE(std::filesystem::is_directory(site.file("pub/y 目录")));

    answers.queueInput("x");  // exists already: refused
    trigger(*c, "创建目录(&C)");
    waitForWorkers();
    EXPECT_EQ(answers.texts().back(), "创建失败！");
    EXPECT_EQ(c->w().远程文件框.itemCount(), before + 2);
}

// A 257 reply that names another, existing entry never becomes a row for
// it, and an uploaded folder's files never go into it: the name the reply
// gives counts only for a folder the server lists as new.
TEST(RemoteEditFaults, AReplyNamingAnExistingEntryRedirectsNothing) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 existing.txt\r\n"
                      "drwxr-xr-x 2 u g 0 Jan 01 2024 other\r\n");
    server.on("CWD", [](ScriptedSession& s, const std::string& path) {
        s.reply(path == "/" || path == "/other" ? "250 ok" : "550 no such folder");
    });
    server.on("MKD", [](ScriptedSession& s, const std::string& path) {
        s.reply(path == "/docs" ? "257 \"/other\" created" : "257 \"/existing.txt\" created");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ui::ListControl& list = c.w().远程文件框;
    ASSERT_EQ(list.itemCount(), 2);

    DialogAnswerer answers;
    answers.queueInput("x");
    trigger(c, "创建目录(&C)");
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && !list.disabled(); }));
    ASSERT_EQ(answers.seen(), 1);
    // Neither name is a folder the server lists as new: the list is read
    // again and shows what the server has.
    EXPECT_EQ(list.itemCount(), 2);
    const int existing = list.findItem("existing.txt");
    ASSERT_GE(existing, 0);
    EXPECT_EQ(list.itemValue(existing), kKindFile);
    EXPECT_EQ(list.findItem("existing.txt", existing + 1), -1);

    c.local.write("docs/f.txt", "F");
    listLocalDirectory();
    c.select("上传文件框", {"docs"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    EXPECT_EQ(server.upload("/docs/f.txt"), "F");
    EXPECT_EQ(server.upload("/other/f.txt"), "");
    EXPECT_EQ(countCommand(server, "STOR /other/f.txt"), 0);
    EXPECT_GE(list.findItem("docs"), 0);
}

TEST(RemoteDeleteFaults, ARefusedFileKeepsItsRowAndTheCountSaysTwo) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 1 Jan 01 2024 a.txt\r\n"
                      "-rw-r--r-- 1 u g 1 Jan 01 2024 b.txt\r\n"
                      "-rw-r--r-- 1 u g 1 Jan 01 2024 c.txt\r\n");
    server.on("DELE", [](ScriptedSession& s, const std::string& name) {
        s.reply(name == "/b.txt" ? "550 permission denied" : "250 deleted");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.select("远程文件框", {"a.txt", "b.txt", "c.txt"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }));
    ASSERT_EQ(c.w().远程文件框.itemCount(), 1);
    EXPECT_EQ(c.w().远程文件框.itemText(0), "b.txt");
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：2个");
    EXPECT_EQ(c.logLines(), (std::vector<std::string>{"删除“c.txt”成功", "删除“b.txt”失败", "删除“a.txt”成功"}));
}

TEST(RemoteDeleteFaults, PressingDeleteAgainWhileItRunsDoesNothing) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 1 Jan 01 2024 slow.txt\r\n");
    std::atomic<bool> release{false};
    server.on("DELE", [&](ScriptedSession& s, const std::string&) {
        for (int i = 0; i < 1000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s.reply("250 deleted");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.select("远程文件框", {"slow.txt"});
    trigger(c, "删除文件或目录(&S)");
    trigger(c, "删除文件或目录(&S)");
    EXPECT_EQ(runningWorkers(), 1);
    release = true;
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }));
    EXPECT_EQ(countCommand(server, "DELE /slow.txt"), 1);
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：1个");
}

TEST(RemoteDeleteFaults, ListingsNamingDotEntriesAreNotWalked) {
    ScriptedFtpServer server;
    // Every listing names "." and ".." and one file, as some servers do.
    server.setListing("drwxr-xr-x 2 u g 0 Jan 01 2024 .\r\n"
                      "drwxr-xr-x 2 u g 0 Jan 01 2024 ..\r\n"
                      "drwxr-xr-x 2 u g 0 Jan 01 2024 dir\r\n");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_EQ(c.w().远程文件框.itemCount(), 1);
    c.select("远程文件框", {"dir"});
    // Inside "dir" the listing names "." and ".." again besides one file.
    server.setListing("drwxr-xr-x 2 u g 0 Jan 01 2024 .\r\n"
                      "drwxr-xr-x 2 u g 0 Jan 01 2024 ..\r\n"
                      "-rw-r--r-- 1 u g 1 Jan 01 2024 f.txt\r\n");
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }));
    for (const std::string& command : server.commands()) {
        EXPECT_EQ(command.find("/."), std::string::npos) << command;
    }
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：2个");
}

// MLSD says folder, LIST says link (or cannot say): only a folder both show
// as a directory is walked; the others are removed as links.
TEST(RemoteDeleteFaults, AFolderOnlyMlsdCallsAFolderIsNeverWalked) {
    ScriptedFtpServer server;
    server.setFeatures({"MLST type*;size*;modify*;"});
    server.on("MLSD", [](ScriptedSession& s, const std::string& path) {
        if (path == "/")
            s.serveData("type=dir; top\r\n");
        else if (path == "/top")
            s.serveData("type=dir; lnk\r\ntype=dir; real\r\ntype=dir; odd\r\ntype=file;size=1; f.txt\r\n");
        else
            s.serveData("type=file;size=1; inner.txt\r\n");
    });
    server.on("LIST", [](ScriptedSession& s, const std::string& path) {
        if (path == "/top")
            s.serveData("lrwxrwxrwx 1 u g 4 Jan 01 2024 lnk -> /etc\r\n"
                        "drwxr-xr-x 2 u g 0 Jan 01 2024 real\r\n"
                        "-rw-r--r-- 1 u g 1 Jan 01 2024 f.txt\r\n");
        else
            s.serveData("drwxr-xr-x 2 u g 0 Jan 01 2024 top\r\n");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.select("远程文件框", {"top"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }));
    for (const std::string& command : server.commands()) {
        EXPECT_EQ(command.find("/top/lnk/"), std::string::npos) << command;
        EXPECT_NE(command, "MLSD /top/lnk");
        EXPECT_NE(command, "MLSD /top/odd");
    }
    EXPECT_EQ(countCommand(server, "MLSD /top/real"), 1);
    EXPECT_EQ(countCommand(server, "DELE /top/real/inner.txt"), 1);
    EXPECT_EQ(countCommand(server, "DELE /top/lnk"), 1);
    EXPECT_TRUE(c.logHas("删除“/top/lnk”链接成功"));
    EXPECT_TRUE(c.logHas("删除“/top/real”目录成功"));
}

int listingsSent(const ScriptedFtpServer& server) {
    int listings = 0;
    for (const std::string& command : server.commands())
        listings += command.rfind("LIST", 0) == 0;
    return listings;
}

bool sentAnyDelete(const ScriptedFtpServer& server) {
    for (const std::string& command : server.commands())
        if (command.rfind("DELE", 0) == 0 || command.rfind("RMD", 0) == 0)
            return true;
    return false;
}

// Two folders that each show the other as a real directory, as bind mounts
// do: the walk stops at the first folder that repeats an ancestor, says so,
// and deletes nothing of that tree; the batch goes on with the next row.
TEST(RemoteDeleteFaults, FoldersThatShowEachOtherStopTheWalk) {
    ScriptedFtpServer server;
    server.on("LIST", [](ScriptedSession& s, const std::string& path) {
        const std::string last = path.substr(path.rfind('/') + 1);
        if (last == "x")
            s.serveData("drwxr-xr-x 2 u g 0 Jan 01 2024 y\r\n-rw-r--r-- 1 u g 1 Jan 01 2024 in-x.txt\r\n");
        else if (last == "y")
            s.serveData("drwxr-xr-x 2 u g 0 Jan 01 2024 x\r\n-rw-r--r-- 1 u g 1 Jan 01 2024 in-y.txt\r\n");
        else
            s.serveData("drwxr-xr-x 2 u g 0 Jan 01 2024 x\r\n-rw-r--r-- 1 u g 1 Jan 01 2024 plain.txt\r\n");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.select("远程文件框", {"x", "plain.txt"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }, 60000));
    EXPECT_TRUE(c.logHas("删除“/x”已停止：“/x/y/x”与上级目录“/x”相同，未删除任何内容"));
    // Only listings reached into the tree.
    for (const std::string& command : server.commands()) {
        if (command.rfind("LIST", 0) != 0 && command.rfind("CWD", 0) != 0) {
            EXPECT_EQ(command.find("/x"), std::string::npos) << command;
        }
    }
    EXPECT_LE(listingsSent(server), 4);
    EXPECT_GE(c.w().远程文件框.findItem("x"), 0);
    // The other row is still deleted.
    EXPECT_EQ(countCommand(server, "DELE /plain.txt"), 1);
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：1个");
}

// A server that shows a folder of the same name inside every folder: the
// same stop, after two listings.
TEST(RemoteDeleteFaults, AnEndlessTreeEndsTheWalk) {
    ScriptedFtpServer server;
    server.setListing("drwxr-xr-x 2 u g 0 Jan 01 2024 loop\r\n");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.select("远程文件框", {"loop"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }, 60000));
    EXPECT_TRUE(c.logHas("删除“/loop”已停止：“/loop/loop”与上级目录“/loop”相同，未删除任何内容"));
    EXPECT_LE(listingsSent(server), 4);
    EXPECT_FALSE(sentAnyDelete(server));
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：0个");
}

// A tree that never repeats but grows without end: the walk stops at the
// bound on entries (200,000), long before the depth bound, and deletes
// nothing.
TEST(RemoteDeleteFaults, AWalkStopsAtItsBoundOnEntries) {
    ScriptedFtpServer server;
    std::string files;
    for (int i = 0; i < 5000; ++i)
        files += "-rw-r--r-- 1 u g 1 Jan 01 2024 f" + std::to_string(i) + ".txt\r\n";
    server.on("LIST", [&files](ScriptedSession& s, const std::string& path) {
        // Each folder holds 5,000 files and one folder named after its depth.
        s.serveData(files + "drwxr-xr-x 2 u g 0 Jan 01 2024 n" + std::to_string(path.size()) + "\r\n");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_GE(c.w().远程文件框.findItem("n1"), 0);
    c.select("远程文件框", {"n1"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }, 120000));
    EXPECT_TRUE(c.logHas("删除“/n1”已停止：条目超过200000个，未删除任何内容"));
    EXPECT_FALSE(sentAnyDelete(server));
    EXPECT_LE(listingsSent(server), 45);
}

namespace {

// Uploads a tree whose folder names hold blanks into the remote folder the
// window shows.
void uploadTreeWithBlanks(ConnectedWindow& c) {
    c.local.write("一级 目录/说明 文件.txt", "a");
    c.local.write("一级 目录/二级 目录/深 处.txt", "b");
    c.local.write("一级 目录/二级 目录/三级 目录/末 端.txt", "c");
    c.local.write("一级 目录/二级/plain.txt", "d");
    c.local.write("一级 目录/ 前 空格/y.txt", "e");
    listLocalDirectory();
    c.select("上传文件框", {"一级 目录"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    ASSERT_EQ(c.w().状态条1.paneText(2), "上传数：5  失败数：0");
    ASSERT_GE(c.w().远程文件框.findItem("一级 目录"), 0);
}

// Deletes that tree from the remote list: every entry goes, nothing fails.
void deleteTreeWithBlanks(ConnectedWindow& c) {
    c.select("远程文件框", {"一级 目录"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }));
    const std::vector<std::string> lines = c.logLines();
    EXPECT_EQ(lines.size(), 10u);  // five files and five folders
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("失败"), std::string::npos) << line;
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：10个");
    EXPECT_EQ(c.w().远程文件框.findItem("一级 目录"), -1);
}

} // namespace

TEST(RemoteDeleteBlanks, AnUploadedTreeGoesFromVsftpd) {
    VsftpdServer server;
    if (!server.available())
        GTEST_SKIP() << "vsftpd needs root";
    TempFolder root;
    root.write("pub/一级/keep.txt", "k");  // a sibling named like the tree's first word
    ASSERT_TRUE(server.start(root.path())) << server.errors();
    ConnectedWindow c(server.port(), "anonymous", "x", "/pub");
    ASSERT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    ASSERT_NO_FATAL_FAILURE(uploadTreeWithBlanks(c));
    deleteTreeWithBlanks(c);
    EXPECT_FALSE(platform::pathExists(root.file("pub/一级 目录")));
    EXPECT_EQ(root.read("pub/一级/keep.txt"), "k");
}

// The server's MLSD takes a path whole but its LIST splits the argument at
// blanks: folders are confirmed without LIST of a path with a blank.
TEST(RemoteDeleteBlanks, AnUploadedTreeGoesFromAServerSplittingListArguments) {
    ScriptedFtpServer server;
    ScriptedFileTree tree(server, true);
    tree.addFile("/up/一级/keep.txt", "k");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "/up");
    ASSERT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    ASSERT_NO_FATAL_FAILURE(uploadTreeWithBlanks(c));
    // Folders listed from inside leave the session where it was.
    const std::string before = currentSession()->currentDirectory();
    deleteTreeWithBlanks(c);
    EXPECT_EQ(currentSession()->currentDirectory(), before);
    EXPECT_EQ(tree.pathsUnder("/up/一级 目录"), std::vector<std::string>{});
    EXPECT_TRUE(tree.exists("/up/一级/keep.txt"));
    for (const std::string& command : server.commands()) {
        const bool listWithArgument = command.rfind("LIST ", 0) == 0;
        EXPECT_FALSE(listWithArgument && command.find(' ', 5) != std::string::npos) << command;
    }
}

// A folder the server will not show by LIST nor let the client enter is
// reported, never walked, and kept with its parent's row.
TEST(RemoteDeleteBlanks, AFolderThatCannotBeConfirmedIsReported) {
    ScriptedFtpServer server;
    ScriptedFileTree tree(server, true);
    tree.addFile("/top dir/sub/inner.txt", "i");
    tree.addFile("/top dir/f.txt", "f");
    server.on("CWD", [](ScriptedSession& s, const std::string& path) {
        s.reply(path == "/top dir" ? "550 not allowed" : "250 ok");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "/");
    c.select("远程文件框", {"top dir"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }));
    EXPECT_EQ(c.logLines(), (std::vector<std::string>{
                                "确认“/top dir/sub”目录失败",
                                "删除“/top dir/f.txt”文件成功",
                                "删除“/top dir/sub”目录失败",
                                "删除“/top dir”目录失败",
                            }));
    EXPECT_EQ(countCommand(server, "MLSD /top dir/sub"), 0);
    EXPECT_TRUE(tree.exists("/top dir/sub/inner.txt"));
    EXPECT_GE(c.w().远程文件框.findItem("top dir"), 0);
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：1个");
}

TEST(LocalDelete, QuestionsSelectionAndTrees) {
    MainWindowHarness h;
    TempFolder local;
    local.write("a.txt", "a");
    local.write("tree/inner/deep.txt", "d");
    local.write("kept/.dotfile", "stays");
    local.write("outside/target.txt", "must survive");
    local.makeFolder("links");
    ASSERT_EQ(::symlink(local.file("outside").c_str(), local.file("links/to-outside").c_str()), 0);
    h.writeSetting("本地目录", local.path());
    h.open();
    MainWindow& w = h.controls();
    DialogAnswerer answers;

    deleteLocalSelected();
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "请选择欲删除的的项目!");

    const int rows = w.上传文件框.itemCount();
    answers.queueButton(QMessageBox::No);
    deleteLocalAll();
    EXPECT_EQ(answers.texts().back(), "确定删除所有文件吗？");
    EXPECT_EQ(answers.titles().back(), "询问：");
    EXPECT_EQ(w.上传文件框.itemCount(), rows);
    EXPECT_TRUE(platform::pathExists(local.file("a.txt")));

    for (const char* name : {"a.txt", "tree", "kept", "links"})
        w.上传文件框.selectItem(w.上传文件框.findItem(name));
    answers.queueButton(QMessageBox::Yes);
    deleteLocalSelected();
    EXPECT_EQ(answers.texts().back(), "确定删除选中文件吗？");
    EXPECT_FALSE(platform::pathExists(local.file("a.txt")));
    EXPECT_FALSE(platform::pathExists(local.file("tree")));
    EXPECT_FALSE(platform::pathExists(local.file("links")));
    // A folder holding a dot-name stays, and so does its row.
    EXPECT_TRUE(platform::pathExists(local.file("kept/.dotfile")));
    EXPECT_GE(w.上传文件框.findItem("kept"), 0);
    // The link went, never what it pointed to.
    EXPECT_EQ(local.read("outside/target.txt"), "must survive");
    EXPECT_EQ(appState().targetFolder.get(), local.path() + "/");
}

// A local folder that holds itself further down (bind mounts) is listed
// whole before anything goes: the walk stops at the repeat, the log says
// so, and nothing is deleted, neither inside nor in the folder it leads to.
TEST(LocalDelete, AFolderRepeatingAnAncestorDeletesNothing) {
    MainWindowHarness h;
    TempFolder local;
    FolderLoop loop(local);
    if (!loop.made())
        GTEST_SKIP() << "bind mounts need root";
    h.writeSetting("本地目录", local.path());
    h.open();
    MainWindow& w = h.controls();
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::Yes);
    w.上传文件框.selectItem(w.上传文件框.findItem("x"));
    deleteLocalSelected();
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(local.read("x/in-x.txt"), "x");
    EXPECT_EQ(local.read("y/in-y.txt"), "y");
    EXPECT_GE(w.上传文件框.findItem("x"), 0);
    EXPECT_NE(w.消息框.text().find("删除“" + local.file("x") + "”已停止：“" + local.file("x/y/x") + "”与上级目录“" +
                                    local.file("x") + "”相同，未删除任何内容"),
              std::string::npos);
}

TEST(LocalDelete, RefusesEmptyPathsAndTheRoot) {
    EXPECT_FALSE(deleteLocalTree(""));
    EXPECT_FALSE(deleteLocalTree("   "));
    EXPECT_FALSE(deleteLocalTree("/"));
    EXPECT_FALSE(deleteLocalTree(" //"));
}

namespace {

// A folder put first on PATH with a fake xdg-mime and a fake editor that
// records its arguments, one per line.
class FakeEditor {
public:
    explicit FakeEditor(const std::string& defaultEntry) {
        bin.write("xdg-mime", "#!/bin/sh\necho '" + defaultEntry + "'\n");
        const std::string record = "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + bin.file("args") + ".tmp'\nmv '" +
                                   bin.file("args") + ".tmp' '" + bin.file("args") + "'\n";
        bin.write("gedit", record);
        bin.write("fake-editor", record);
        for (const char* f : {"xdg-mime", "gedit", "fake-editor"})
            ::chmod(bin.file(f).c_str(), 0755);
        bin.write("share/applications/fake.desktop",
                  "[Desktop Entry]\nName=Fake\nExec=fake-editor --new-window %F\n");
        const char* path = std::getenv("PATH");
        ::setenv("PATH", (bin.path() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
        ::setenv("XDG_DATA_DIRS", bin.file("share").c_str(), 1);
        ::setenv("XDG_DATA_HOME", bin.file("nothing-here").c_str(), 1);
    }

    std::string args() {
        waitUntil([&] { return platform::pathExists(bin.file("args")); }, 5000);
        return bin.read("args");
    }

    TempFolder bin;
};

} // namespace

TEST(OpenWithEditor, PathWithBlanksIsOneArgumentOfTheDefaultEditor) {
    FakeEditor editor("fake.desktop");
    MainWindowHarness h;
    TempFolder local;
    local.write("my notes 2024.txt", "n");
    local.makeFolder("plain folder");
    h.writeSetting("本地目录", local.path());
    h.open();
    MainWindow& w = h.controls();
    w.上传文件框.selectItem(w.上传文件框.findItem("my notes 2024.txt"));
    h.form()->findChild<QAction*>("用记事本打开(&Y)")->trigger();
    EXPECT_EQ(editor.args(), "--new-window\n" + local.file("my notes 2024.txt") + "\n");
}

TEST(OpenWithEditor, FallsBackToACommonEditorAndSkipsPlainFolders) {
    FakeEditor editor("");
    EXPECT_EQ(textEditorCommand("/tmp/a b.txt"),
              (std::vector<std::string>{"gedit", "/tmp/a b.txt"}));
    MainWindowHarness h;
    TempFolder local;
    local.makeFolder("plain folder");
    h.writeSetting("本地目录", local.path());
    h.open();
    MainWindow& w = h.controls();
    DialogAnswerer answers;
    h.form()->findChild<QAction*>("用记事本打开(&Y)")->trigger();
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "请选择要打开的文件！");
    w.上传文件框.selectItem(w.上传文件框.findItem("plain folder"));
    h.form()->findChild<QAction*>("用记事本打开(&Y)")->trigger();
    pump(300);
    EXPECT_FALSE(platform::pathExists(editor.bin.file("args")));
}
