// Uploads of files and folder trees through the real main window.
#include "app/state/AppState.h"
#include "fileops/RemoteDelete.h"
#include "ftp/handlers/RemoteListing.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/support/FolderLoop.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Progress.h"
#include "transfer/TransferPaths.h"
#include "transfer/Upload.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

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

// A FIFO in the file system. Going away it opens the write end without
// waiting, so a reader stuck opening it goes on instead of holding a worker.
class Fifo {
public:
    explicit Fifo(const std::string& path) : path_(path) { made_ = ::mkfifo(path.c_str(), 0644) == 0; }
    ~Fifo() { releaseReaders(); }
    bool made() const { return made_; }
    void releaseReaders() const {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }

private:
    std::string path_;
    bool made_ = false;
};

// A Unix socket bound to a path, closed when the object goes away.
class SocketFile {
public:
    explicit SocketFile(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        made_ = fd_ >= 0 && path.size() < sizeof address.sun_path &&
                ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~SocketFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool made() const { return made_; }

private:
    int fd_ = -1;
    bool made_ = false;
};

bool makeLink(const std::string& target, const std::string& link) {
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

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
    EXPECT_TRUE(std::filesystem::is_directory(site.file("pub/empty")));
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

TEST_F(Upload, AFolderSendsOnlyRegularFilesAndNeverWalksALinkToAFolder) {
    TempFolder outside;
    outside.write("real.txt", "REAL");
    outside.write("private/secret.txt", "S");
    c->local.write("docs/a.txt", "A");
    c->local.write("docs/sub/b.txt", "B");
    ASSERT_TRUE(makeLink(outside.file("real.txt"), c->local.file("docs/linked.txt")));
    ASSERT_TRUE(makeLink(outside.file("private"), c->local.file("docs/elsewhere")));
    ASSERT_TRUE(makeLink(outside.file("missing.txt"), c->local.file("docs/dangling.txt")));
    ASSERT_TRUE(makeLink("/dev/zero", c->local.file("docs/sub/zero.bin")));
    Fifo fifo(c->local.file("docs/pipe.txt"));
    SocketFile socket(c->local.file("docs/sock.txt"));
    ASSERT_TRUE(fifo.made());
    ASSERT_TRUE(socket.made());
    listLocal();
    c->select("上传文件框", {"docs"});
    clickUpload();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(); }));

    EXPECT_EQ(site.read("pub/docs/a.txt"), "A");
    EXPECT_EQ(site.read("pub/docs/sub/b.txt"), "B");
    EXPECT_EQ(site.read("pub/docs/linked.txt"), "REAL");  // a link to a regular file is followed
    for (const char* name : {"pipe.txt", "sock.txt", "dangling.txt", "elsewhere", "sub/zero.bin"}) {
        EXPECT_FALSE(platform::pathExists(site.file("pub/docs/") + name)) << name;
        EXPECT_TRUE(c->logHas(lastPathPart(c->local.file(std::string("docs/") + name)) + "    上传失败")) << name;
    }
    EXPECT_EQ(c->w().状态条1.paneText(1), "上传完毕!");
    EXPECT_EQ(c->w().状态条1.paneText(2), "上传数：3  失败数：5");
}

TEST(UploadClose, ClosingTheWindowMidBatchReturnsPromptly) {
    ScriptedFtpServer server;
    std::atomic<bool> storing{false};
    // The transfer never completes: the server takes the data and then
    // plays dead until the client goes away.
    server.on("STOR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 send it");
        if (s.openData())
            s.receiveData();
        storing = true;
        s.waitForClientClose(60000);
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "/pub");
    c.local.write("batch/b.txt", "b");
    Fifo fifo(c.local.file("batch/a-pipe"));
    ASSERT_TRUE(fifo.made());
    listLocalDirectory();
    c.select("上传文件框", {"batch"});
    uploadButton();
    EXPECT_TRUE(waitUntil([&] { return storing.load(); }));
    // Should the close hang on the FIFO, it is freed after the limit, so
    // that the test fails instead of hanging.
    std::atomic<bool> closed{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 110 && !closed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fifo.releaseReaders();
    });
    const auto start = std::chrono::steady_clock::now();
    c.h.close();
    const auto took = std::chrono::steady_clock::now() - start;
    closed = true;
    watchdog.join();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(runningWorkers(), 0);
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

TEST(ListFilesRecursive, OwnFilesFirstThenSubfoldersAndLinksAreNotWalked) {
    resetWorkers();  // the walk ends early while a closed window's workers stop
    TempFolder t;
    t.write("d/top.txt", "1");
    t.write("d/s/inner.txt", "2");
    t.write("d/s/t/deep.txt", "4");
    t.write("d/.hidden", "3");
    ASSERT_TRUE(makeLink(t.file("d"), t.file("d/s/t/loop")));
    std::vector<std::string> files = listFilesRecursive(t.file("d"));
    ASSERT_EQ(files.size(), 5u);
    // The folder's own files come before the subfolder's, depth first; the
    // link is an entry of its folder, not a folder to walk.
    EXPECT_EQ(std::set<std::string>(files.begin(), files.begin() + 2),
              (std::set<std::string>{t.file("d/top.txt"), t.file("d/.hidden")}));
    EXPECT_EQ(files[2], t.file("d/s/inner.txt"));
    EXPECT_EQ(std::set<std::string>(files.begin() + 3, files.end()),
              (std::set<std::string>{t.file("d/s/t/deep.txt"), t.file("d/s/t/loop")}));
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

// On a server that lists names in another encoding, a local name that is
// not UTF-8 goes out in its own bytes (not re-encoded into "?"), is shown
// escaped, and its row then reaches those bytes.
TEST(UploadProtocol, ALocalNameInOtherBytesKeepsThem) {
    ScriptedFtpServer server;
    server.setTelnetControl(true);  // the byte 0xFF goes out as IAC IAC
    server.setListing("-rw-r--r-- 1 u g 1 Jan 01 2024 x\xfe.txt\r\n");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "/pub");
    c.local.write("b\xff.txt", "b");
    listLocalDirectory();
    c.select("上传文件框", {"b\\xFF.txt"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    EXPECT_EQ(server.upload("/pub/b\xff.txt"), "b");
    ASSERT_GE(c.w().远程文件框.findItem("b\\xFF.txt"), 0);
    c.select("远程文件框", {"b\\xFF.txt"});
    deleteRemoteCommand();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }));
    bool deleted = false;
    for (const std::string& command : server.commands())
        deleted = deleted || command == "DELE /pub/b\xff.txt";
    EXPECT_TRUE(deleted);
}

// Local walks keep their bounds too: a folder that is one of its own
// ancestors (bind mounts) is skipped with a log line, its files sent once.
TEST(UploadWalks, AFolderRepeatingAnAncestorIsSkipped) {
    ScriptedFtpServer server;
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "/");
    FolderLoop loop(c.local);
    if (!loop.made())
        GTEST_SKIP() << "bind mounts need root";
    listLocalDirectory();
    c.select("上传文件框", {"x"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    EXPECT_TRUE(c.logHas("上传目录“" + c.local.file("x") + "”时跳过“" + c.local.file("x/y/x") + "”与上级目录“" +
                         c.local.file("x") + "”相同"));
    std::vector<std::string> stored;
    for (const std::string& command : server.commands())
        if (command.rfind("STOR", 0) == 0)
            stored.push_back(command);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::string>{"STOR /x/in-x.txt", "STOR /x/y/in-y.txt"}));
}

// A tree deeper than the walk's bound (256 levels) is listed down to it;
// the log says the listing stopped, and what was listed is sent.
TEST(UploadWalks, ATreeDeeperThanTheBoundIsListedDownToIt) {
    ScriptedFtpServer server;
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "/");
    std::string deep = "d";
    for (int level = 0; level < 300; ++level)
        deep += "/n";
    c.local.write("d/top.txt", "top");
    c.local.write(deep + "/bottom.txt", "bottom");
    listLocalDirectory();
    c.select("上传文件框", {"d"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }, 60000));
    EXPECT_TRUE(c.logHas("上传目录“" + c.local.file("d") + "”只列出了部分文件：目录超过256层"));
    EXPECT_EQ(server.upload("/d/top.txt"), "top");
    for (const std::string& command : server.commands())
        EXPECT_EQ(command.find("bottom.txt"), std::string::npos);
}
