// Uploads of files and folder trees through the real main window.
#include "app/AppState.h"
#include "platform/LocalFiles.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Progress.h"
#include "transfer/TransferPaths.h"
#include "transfer/Upload.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <mutex>
#include <set>

using namespace testsupport;

namespace {

class Upload : public ::testing::Test {
protected:
    void SetUp() override {
        site.makeFolder("pub");
        ASSERT_TRUE(server.start(site.path()));
        c = std::make_unique<ConnectedWindow>(server.port(), kPyFtpdUser, kPyFtpdPassword, "/pub");
        ASSERT_EQ(c->w().状态条1.paneText(0), "连接服务器成功");
    }

    void listLocal() { listLocalDirectory(); }

    void clickUpload() {
        QTest::mouseClick(c->h.form()->findChild<QPushButton*>("上传钮"), Qt::LeftButton);
    }

    bool batchEnded() { return c->w().上传钮.caption() == "上传" && runningWorkers() == 0; }

    TempFolder site;
    PyFtpdServer server;
    std::unique_ptr<ConnectedWindow> c;
};

} // namespace

TEST_F(Upload, FolderTreeIsRecreatedWithOneRowForTheFolder) {
    c->local.write("docs/a.txt", "A");
    c->local.write("docs/sub/b.txt", "B");
    c->local.write("docs/sub/c.txt", "C");
    c->local.write("docs/sub/deeper/d.txt", "D");
    listLocal();
    c->select("上传文件框", {"docs"});
    clickUpload();
    EXPECT_EQ(c->w().上传钮.caption(), "停止");
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));
    EXPECT_EQ(site.read("pub/docs/a.txt"), "A");
    EXPECT_EQ(site.read("pub/docs/sub/b.txt"), "B");
    EXPECT_EQ(site.read("pub/docs/sub/c.txt"), "C");
    EXPECT_EQ(site.read("pub/docs/sub/deeper/d.txt"), "D");
    EXPECT_EQ(c->w().远程文件框.itemCount(), 1);
    EXPECT_EQ(c->w().远程文件框.itemText(0), "docs");
    EXPECT_EQ(c->w().远程文件框.itemImage(0), 0);
    EXPECT_TRUE(c->logHas("a.txt”    上传成功"));
    EXPECT_TRUE(c->logHas("d.txt”    上传成功"));
    EXPECT_EQ(c->w().状态条1.paneText(1), "上传完毕!");
    EXPECT_EQ(c->w().状态条1.paneText(2), "上传数：4  失败数：0");
    for (const auto& line : c->logLines())
        EXPECT_EQ(line.find("失败"), std::string::npos) << line;
}

TEST_F(Upload, AnExistingRemoteFolderGetsNoSecondRow) {
    site.makeFolder("pub/docs");
    refreshRemote();
    waitForWorkers();
    ASSERT_EQ(c->w().远程文件框.itemCount(), 1);
    c->local.write("docs/a.txt", "A");
    listLocal();
    c->select("上传文件框", {"docs"});
    clickUpload();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));
    EXPECT_EQ(site.read("pub/docs/a.txt"), "A");
    EXPECT_EQ(c->w().远程文件框.itemCount(), 1);
}

TEST_F(Upload, AnEmptyFolderIsCreatedAndTheBatchSendsNothing) {
    c->local.makeFolder("empty");
    listLocal();
    c->select("上传文件框", {"empty"});
    clickUpload();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));
    EXPECT_TRUE(platform::isDirectory(site.file("pub/empty")));
    EXPECT_EQ(c->w().状态条1.paneText(1), "上传失败");
    EXPECT_EQ(c->w().状态条1.paneText(2), "");
}

TEST_F(Upload, FilesWithChineseAndDotlessNamesAreSentAsFiles) {
    c->local.write("中文 文件.txt", "内容");
    c->local.write("Makefile", "all:\n");
    listLocal();
    c->select("上传文件框", {"中文 文件.txt", "Makefile"});
    clickUpload();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));
    EXPECT_EQ(site.read("pub/中文 文件.txt"), "内容");
    EXPECT_EQ(site.read("pub/Makefile"), "all:\n");
    EXPECT_GE(c->w().远程文件框.findItem("Makefile"), 0);
    EXPECT_EQ(c->w().状态条1.paneText(2), "上传数：2  失败数：0");
    // Sending again overwrites without a second row.
    c->local.write("Makefile", "changed\n");
    c->select("上传文件框", {"Makefile"});
    clickUpload();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));
    EXPECT_EQ(site.read("pub/Makefile"), "changed\n");
    EXPECT_EQ(c->w().远程文件框.itemCount(), 2);
    // The log was emptied when the second batch started.
    EXPECT_EQ(c->logLines(), std::vector<std::string>{"Makefile”    上传成功"});
}

TEST_F(Upload, StopTakesEffectAfterTheWholeFolder) {
    c->local.write("a-folder/one.txt", "1");
    c->local.write("a-folder/two.txt", "2");
    c->local.write("z-file.txt", "z");
    listLocal();
    c->select("上传文件框", {"a-folder", "z-file.txt"});
    ASSERT_EQ(c->w().上传文件框.selectedItems().size(), 2u);
    ASSERT_EQ(c->w().上传文件框.itemText(c->w().上传文件框.selectedItems()[0]), "a-folder");
    clickUpload();
    clickUpload();  // "停止" at once: the first row still finishes whole
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));
    EXPECT_EQ(site.read("pub/a-folder/one.txt"), "1");
    EXPECT_EQ(site.read("pub/a-folder/two.txt"), "2");
    EXPECT_FALSE(platform::pathExists(site.file("pub/z-file.txt")));
}

TEST_F(Upload, NothingSelectedAndEmptyListCases) {
    DialogAnswerer answers;
    clickUpload();
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "请添加欲上传的文件!");
    c->local.write("x.txt", "x");
    listLocal();
    clickUpload();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));
    EXPECT_EQ(c->w().状态条1.paneText(1), "上传失败");
    EXPECT_FALSE(platform::pathExists(site.file("pub/x.txt")));
}

TEST(UploadConnect, ConnectsFirstWhenNotConnected) {
    TempFolder site;
    site.makeFolder("pub");
    PyFtpdServer server;
    ASSERT_TRUE(server.start(site.path()));
    MainWindowHarness h;
    TempFolder local;
    local.write("f.txt", "f");
    h.writeSetting("本地目录", local.path());
    h.writeSetting("服务器目录", "/pub");
    h.writeSetting("IP信息", "s|127.0.0.1|" + std::to_string(server.port()) + "|tester|secret");
    h.open();
    ASSERT_EQ(appState().connected, 0);
    h.controls().上传文件框.selectItem(h.controls().上传文件框.findItem("f.txt"));
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return h.controls().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    EXPECT_EQ(appState().connected, 1);
    EXPECT_EQ(site.read("pub/f.txt"), "f");
}

TEST(UploadConnect, FailedConnectShowsBothMessages) {
    MainWindowHarness h;
    h.open();
    DialogAnswerer answers;
    uploadButton();
    waitForWorkers();
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.texts()[0], "请设定要连接的FTP服务器");
    EXPECT_EQ(answers.texts()[1], "连接服务器失败!");
    EXPECT_EQ(appState().connected, 0);
}

TEST(TransferRules, PathsAndNamesAndPercentages) {
    EXPECT_EQ(lastPathPart("/home/u/docs"), "docs");
    EXPECT_EQ(lastPathPart("/home/u/docs/"), "");
    EXPECT_EQ(lastPathPart("docs"), "");
    EXPECT_EQ(localPrefix("/home"), "/home/");
    EXPECT_EQ(localPrefix("/"), "/");
    EXPECT_FALSE(isSafeLocalName(""));
    EXPECT_FALSE(isSafeLocalName(".."));
    EXPECT_FALSE(isSafeLocalName("a/b"));
    EXPECT_FALSE(isSafeLocalName("a\\b"));
    EXPECT_FALSE(isSafeLocalName("bell\x07"));
    EXPECT_TRUE(isSafeLocalName("..hidden but fine"));
    EXPECT_TRUE(isSafeLocalName("中文.txt"));
    EXPECT_TRUE(foldersListHolds(",/pub/Docs/Sub,", "/pub/docs/sub"));
    EXPECT_FALSE(foldersListHolds(",/pub/docs/sub2,", "/pub/docs/sub"));
    EXPECT_EQ(progressPercent(50, 100), 50);
    EXPECT_EQ(progressPercent(-1, 100), 0);
    EXPECT_EQ(progressPercent(5, 0), 0);      // an empty file: not a number
    EXPECT_EQ(progressPercent(0, 0), 0);
    EXPECT_EQ(progressPercent(300, 100), 100);
    EXPECT_EQ(progressPercent(99.9, 100), 99);
}

TEST(ListFilesRecursive, OwnFilesFirstThenSubfoldersAndNoLoops) {
    TempFolder t;
    t.write("d/top.txt", "1");
    t.write("d/s/inner.txt", "2");
    t.write("d/.hidden", "3");
    ASSERT_EQ(::symlink(t.file("d").c_str(), t.file("d/s/loop").c_str()), 0);
    std::vector<std::string> files = listFilesRecursive(t.file("d"));
    ASSERT_EQ(files.size(), 3u);
    // The folder's own files come before the subfolder's.
    EXPECT_EQ(files.back(), t.file("d/s/inner.txt"));
    EXPECT_TRUE(listFilesRecursive(t.file("missing")).empty());
}

TEST(UploadProtocol, NewSubfoldersAreMadeOnceExistingOnesProbedPerFile) {
    ScriptedFtpServer server;
    std::mutex mutex;
    std::set<std::string> folders{"/pub", "/pub/docs/old"};
    server.on("CWD", [&](ScriptedSession& s, const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex);
        s.reply(folders.count(path) ? "250 ok" : "550 no such folder");
    });
    server.on("MKD", [&](ScriptedSession& s, const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex);
        folders.insert(path);
        s.reply("257 created");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "/pub");
    c.local.write("docs/new/b.txt", "b");
    c.local.write("docs/new/c.txt", "c");
    c.local.write("docs/old/d.txt", "d");
    c.local.write("docs/old/e.txt", "e");
    listLocalDirectory();
    c.select("上传文件框", {"docs"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    auto count = [&](const std::string& line) {
        int n = 0;
        for (const std::string& command : server.commands())
            n += command == line;
        return n;
    };
    EXPECT_EQ(count("MKD /pub/docs"), 1);
    EXPECT_EQ(count("MKD /pub/docs/new"), 1);
    EXPECT_EQ(count("CWD /pub/docs/new"), 1);  // probed once, then known
    EXPECT_EQ(count("MKD /pub/docs/old"), 0);
    EXPECT_EQ(count("CWD /pub/docs/old"), 2);  // existing: probed for each file
    EXPECT_EQ(server.upload("/pub/docs/new/c.txt"), "c");
    EXPECT_EQ(server.upload("/pub/docs/old/e.txt"), "e");
    EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：4  失败数：0");
}
