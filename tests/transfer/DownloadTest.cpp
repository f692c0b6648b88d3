// Downloads through the real main window against real and scripted servers.
#include "app/state/AppState.h"
#include "fileops/RemoteDelete.h"
#include "fileops/RemoteEdits.h"
#include "ftp/EntryKind.h"
#include "ftp/FtpClient.h"
#include "ftp/PartialFile.h"
#include "ftp/handlers/RemoteListing.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "platform/TextCodec.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Download.h"
#include "transfer/Upload.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <chrono>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;

namespace {

QPushButton* downloadButton(ConnectedWindow& c) {
    return c.h.form()->findChild<QPushButton*>("下载钮");
}

bool sawCommand(const ScriptedFtpServer& server, const std::string& line) {
    for (const std::string& command : server.commands())
        if (command == line)
            return true;
    return false;
}

bool batchEnded(ConnectedWindow& c) {
    return c.w().下载钮.caption() == "下载" && runningWorkers() == 0;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        site.write("a.txt", "alpha");
        site.write("b.bin", std::string(5000, 'b'));
        site.write("中文 名字.txt", "中文内容");
        site.write("Makefile", "all:\n");
        site.makeFolder("dir.v2");
        ASSERT_TRUE(server.start(site.path()));
        c = std::make_unique<ConnectedWindow>(server.port(), kPyFtpdUser, kPyFtpdPassword);
        ASSERT_EQ(c->w().状态条1.paneText(0), "连接服务器成功");
    }

    TempFolder site;
    PyFtpdServer server;
    std::unique_ptr<ConnectedWindow> c;
};

} // namespace

TEST_F(Download, SelectedFilesArriveAndJoinTheLocalList) {
    c->select("远程文件框", {"a.txt", "中文 名字.txt", "Makefile"});
    QTest::mouseClick(downloadButton(*c), Qt::LeftButton);
    EXPECT_EQ(c->w().下载钮.caption(), "停止");
    ASSERT_TRUE(waitUntil([&] { return batchEnded(*c); }));
    EXPECT_EQ(c->local.read("a.txt"), "alpha");
    EXPECT_EQ(c->local.read("中文 名字.txt"), "中文内容");
    EXPECT_EQ(c->local.read("Makefile"), "all:\n");  // a dot-less file is a file
    EXPECT_TRUE(c->logHas("a.txt    下载成功"));
    EXPECT_TRUE(c->logHas("Makefile    下载成功"));
    EXPECT_EQ(c->w().状态条1.paneText(1), "下载完毕");
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数：3   失败个数：0");
    EXPECT_GE(c->w().上传文件框.findItem("中文 名字.txt"), 0);
    EXPECT_EQ(c->w().进度条1.position(), 0);
    EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(c->local.file("a.txt"))));
}

TEST_F(Download, ADirectoryRowFailsWithoutALogLine) {
    c->select("远程文件框", {"dir.v2"});
    QTest::mouseClick(downloadButton(*c), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return batchEnded(*c); }));
    EXPECT_EQ(c->w().状态条1.paneText(1), "下载失败 ");
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数：0   失败个数：1");
    // Only the batch's closing line names it.
    std::vector<std::string> lines = c->logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "dir.v2    下载失败");
    EXPECT_FALSE(platform::pathExists(c->local.file("dir.v2")));
}

TEST_F(Download, OverAnExistingFileReplacesItWithoutASecondRow) {
    c->local.write("a.txt", "old old old");
    listLocalDirectory();
    ASSERT_EQ(c->w().上传文件框.itemCount(), 1);
    c->select("远程文件框", {"a.txt"});
    downloadButton();  // the menu item's handler
    ASSERT_TRUE(waitUntil([&] { return batchEnded(*c); }));
    EXPECT_EQ(c->local.read("a.txt"), "alpha");
    EXPECT_EQ(c->w().上传文件框.itemCount(), 1);
}

TEST_F(Download, NoSelectionAsksForOne) {
    DialogAnswerer answers;
    downloadButton();
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "请选择要下载的文件");
    EXPECT_EQ(c->w().下载钮.caption(), "下载");
    EXPECT_EQ(appState().quickDownload, 0);
}

TEST_F(Download, SaveAsGoesIntoTheChosenFolder) {
    TempFolder chosen;
    DialogAnswerer answers;
    answers.queueFolder(chosen.path());
    c->select("远程文件框", {"b.bin"});
    c->h.form()->findChild<QAction*>("另存为(&L)")->trigger();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(*c); }));
    EXPECT_EQ(chosen.read("b.bin"), std::string(5000, 'b'));
    EXPECT_FALSE(platform::pathExists(c->local.file("b.bin")));
    EXPECT_EQ(appState().targetFolder.get(), chosen.path());
    // Cancelling the folder dialog starts nothing.
    answers.queueCancel();
    c->h.form()->findChild<QAction*>("另存为(&L)")->trigger();
    EXPECT_EQ(c->w().下载钮.caption(), "下载");
    EXPECT_EQ(appState().targetFolder.get(), "");
}

TEST_F(Download, DownloadAllOnAnEmptyListCountsNothing) {
    c->w().远程文件框.deleteAllItems();
    c->h.form()->findChild<QAction*>("全部下载(&Q)")->trigger();
    ASSERT_TRUE(waitUntil([] { return runningWorkers() == 0; }));
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数:0失败个数:0");
    EXPECT_EQ(c->w().状态条1.paneText(1), "下载失败");
}

TEST_F(Download, DownloadAllTakesEveryRow) {
    c->h.form()->findChild<QAction*>("全部下载(&Q)")->trigger();
    ASSERT_TRUE(waitUntil([] { return runningWorkers() == 0; }));
    EXPECT_EQ(c->local.read("b.bin").size(), 5000u);
    // Four files arrive; the directory row fails.
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数:4失败个数:1");
    EXPECT_EQ(c->w().状态条1.paneText(1), "下载完毕");
}

TEST(DownloadFaults, StopDuringTheSecondFileEndsAfterIt) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n"
                      "-rw-r--r-- 1 u g 6 Jan 01 2024 b.txt\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 c.txt\r\n");
    server.setFile("/a.txt", "aaaaa");
    server.setFile("/c.txt", "ccccc");
    std::atomic<bool> release{false};
    server.on("RETR", [&](ScriptedSession& s, const std::string& name) {
        if (name != "/b.txt") {
            s.reply("150 ok");
            s.openData();
            s.sendData(name == "/a.txt" ? "aaaaa" : "ccccc");
            s.closeData();
            s.reply("226 done");
            return;
        }
        s.reply("150 ok");
        s.openData();
        s.sendData("bbb");
        for (int i = 0; i < 1000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s.sendData("bbb");
        s.closeData();
        s.reply("226 done");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_EQ(c.w().远程文件框.itemCount(), 3);
    c.select("远程文件框", {"a.txt", "b.txt", "c.txt"});
    QTest::mouseClick(downloadButton(c), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return c.w().状态条1.paneText(1).rfind("正在下载：b.txt", 0) == 0; }));
    EXPECT_EQ(c.w().状态条1.paneText(1), "正在下载：b.txt  大小：0.006KB");
    QTest::mouseClick(downloadButton(c), Qt::LeftButton);  // "停止"
    release = true;
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_EQ(c.local.read("b.txt"), "bbbbbb");
    EXPECT_FALSE(platform::pathExists(c.local.file("c.txt")));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：2   失败个数：0");
    EXPECT_FALSE(sawCommand(server, "RETR /c.txt"));
}

// The server goes away each time b.txt is sent: b.txt fails once its
// retries, each on a new connection, are spent; the old local copy stays,
// and the file after it arrives on the connection made again.
TEST(DownloadFaults, AFileTheServerDropsEveryTimeFailsAndTheRestArrive) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 b.txt\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 c.txt\r\n");
    server.setFile("/a.txt", "aaaaa");
    server.setFile("/c.txt", "ccccc");
    server.on("RETR", [&server](ScriptedSession& s, const std::string& name) {
        if (name != "/b.txt") {
            server.serveFile(s, name);
            return;
        }
        s.reply("150 ok");
        s.openData();
        s.sendData("bb");
        s.close();  // the server goes away mid-transfer
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.local.write("b.txt", "precious old content");
    c.select("远程文件框", {"a.txt", "b.txt", "c.txt"});
    QTest::mouseClick(downloadButton(c), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }, 30000));
    const std::vector<std::string> expected{"a.txt    下载成功", "b.txt    第1次重试", "b.txt    第2次重试",
                                            "b.txt    第3次重试", "b.txt    下载失败", "c.txt    下载成功"};
    std::vector<std::string> lines = c.logLines();
    lines.erase(lines.begin(), std::find(lines.begin(), lines.end(), expected.front()));
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：2   失败个数：1");
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    // The existing file is untouched and no partial file is left.
    EXPECT_EQ(c.local.read("b.txt"), "precious old content");
    EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(c.local.file("b.txt"))));
    EXPECT_EQ(c.local.read("c.txt"), "ccccc");
}

// An MLSD entry without a size fact: its size is unknown, not 0, so the
// file arrives whole (the row still reads 0 KB, as always).
TEST(DownloadFaults, AListingRowWithoutASizeIsDownloadedWhole) {
    ScriptedFtpServer server;
    server.setFeatures({"MLST type*;size*;modify*;", "SIZE"});
    server.setListing("type=file;modify=20240101000000; nosize.bin\r\n"
                      "type=file;size=5;modify=20240101000000; sized.txt\r\n");
    const std::string bytes(5000, 'n');
    server.setFile("/nosize.bin", bytes);
    server.setFile("/sized.txt", "sized");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    const int row = c.w().远程文件框.findItem("nosize.bin");
    ASSERT_GE(row, 0);
    EXPECT_EQ(c.w().远程文件框.itemText(row, 1), "0");
    EXPECT_EQ(c.w().远程文件框.itemSize(row), -1);
    c.select("远程文件框", {"nosize.bin", "sized.txt"});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_TRUE(c.logHas("nosize.bin    下载成功"));
    EXPECT_EQ(c.local.read("nosize.bin"), bytes);
    EXPECT_EQ(c.local.read("sized.txt"), "sized");
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：2   失败个数：0");
}

TEST(DownloadFaults, HostileNamesNeverBecomeLocalPaths) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 4 Jan 01 2024 ../evil\r\n"
                      "-rw-r--r-- 1 u g 4 Jan 01 2024 good.txt\r\n");
    server.setFile("/good.txt", "good");
    server.setFile("/../evil", "evil");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    EXPECT_EQ(c.w().远程文件框.findItem("../evil"), -1);
    // A row that names a path anyway is refused like a failed transfer.
    c.w().远程文件框.insertItem(-1, "../evil", 5, 1);
    c.w().远程文件框.setItemText(c.w().远程文件框.itemCount() - 1, 1, "0.004");
    c.select("远程文件框", {"../evil", "good.txt"});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_TRUE(c.logHas("../evil    下载失败"));
    EXPECT_EQ(c.local.read("good.txt"), "good");
    EXPECT_FALSE(sawCommand(server, "RETR /../evil"));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：1   失败个数：1");
}

// One folder holds the same name in UTF-8 and in GBK bytes, and two names
// whose invalid bytes differ. Each row stays distinct and every operation
// on a row reaches that row's own bytes.
TEST(DownloadFaults, NamesThatDecodeAlikeStayDistinctRows) {
    ScriptedFtpServer server;
    server.setTelnetControl(true);  // "a\xff.txt" reaches it as IAC IAC
    const std::string gbk = platform::utf8ToGb18030("中");
    const std::string gbkFolder = platform::utf8ToGb18030("文件");
    server.setListing("-rw-r--r-- 1 u g 4 Jan 01 2024 中.txt\r\n"
                      "-rw-r--r-- 1 u g 3 Jan 01 2024 " + gbk + ".txt\r\n"
                      "-rw-r--r-- 1 u g 2 Jan 01 2024 a\xff.txt\r\n"
                      "-rw-r--r-- 1 u g 1 Jan 01 2024 a\xfe.txt\r\n"
                      "drwxr-xr-x 2 u g 0 Jan 01 2024 文件\r\n"
                      "drwxr-xr-x 2 u g 0 Jan 01 2024 " + gbkFolder + "\r\n");
    server.setFile("/中.txt", "utf8");
    server.setFile("/" + gbk + ".txt", "gbk");
    server.setFile("/a\xff.txt", "ff");
    server.setFile("/a\xfe.txt", "f");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ui::ListControl& list = c.w().远程文件框;
    ASSERT_EQ(list.itemCount(), 6);
    std::set<std::string> shown;
    for (int i = 0; i < list.itemCount(); ++i)
        shown.insert(list.itemText(i));
    EXPECT_EQ(shown.size(), 6u);

    downloadAllCommand();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数:4失败个数:2");
    EXPECT_EQ(c.local.read("中.txt"), "utf8");
    EXPECT_EQ(c.local.read(gbk + ".txt"), "gbk");
    EXPECT_EQ(c.local.read("a\xff.txt"), "ff");
    EXPECT_EQ(c.local.read("a\xfe.txt"), "f");

    // The GBK row (shown escaped, as the local list shows the same file).
    const int gbkRow = list.findItem("\\xD6\\xD0.txt");
    ASSERT_GE(gbkRow, 0);
    EXPECT_GE(c.w().上传文件框.findItem("\\xD6\\xD0.txt"), 0);
    c.select("远程文件框", {"\\xD6\\xD0.txt"});
    deleteRemoteCommand();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }));
    EXPECT_TRUE(sawCommand(server, "DELE /" + gbk + ".txt"));
    EXPECT_FALSE(sawCommand(server, "DELE /中.txt"));

    // Renamed in its own bytes.
    {
        DialogAnswerer answers;
        answers.queueInput("b.txt");
        c.select("远程文件框", {"a\\xFE.txt"});
        renameRemote();
        ASSERT_TRUE(waitUntil([&] { return answers.seen() >= 2 && runningWorkers() == 0; }));
        EXPECT_TRUE(sawCommand(server, "RNFR /a\xfe.txt"));
    }

    // The GBK folder is entered in its own bytes.
    const int folderRow = list.findItem(platform::escapeInvalidUtf8(gbkFolder));
    ASSERT_GE(folderRow, 0);
    list.selectItem(folderRow);
    remoteItemDoubleClicked();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && !list.disabled(); }));
    EXPECT_TRUE(sawCommand(server, "CWD /" + gbkFolder));
    EXPECT_FALSE(sawCommand(server, "CWD /文件"));
}

TEST(DownloadProgress, TheBarFollowsTheArrivingFile) {
    ScriptedFtpServer server;
    const int size = 4 * 1024 * 1024;
    server.setListing("-rw-r--r-- 1 u g " + std::to_string(size) + " Jan 01 2024 big.bin\r\n");
    std::atomic<bool> release{false};
    server.on("RETR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 ok");
        s.openData();
        s.sendData(std::string(size / 2, 'x'));
        for (int i = 0; i < 2000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s.sendData(std::string(size / 2, 'y'));
        s.closeData();
        s.reply("226 done");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    // A browser's unfinished download of the same name: kept as it is, and
    // the bar follows our own partial file under another name.
    c.local.write("big.bin.part", "a browser's half file");
    c.select("远程文件框", {"big.bin"});
    downloadButton();
    // Half the file has arrived: the 500 ms tick shows about 50.
    ASSERT_TRUE(waitUntil([&] { return c.w().进度条1.position() >= 45; }, 5000));
    EXPECT_LE(c.w().进度条1.position(), 55);
    EXPECT_EQ(c.w().时钟1.interval(), 500);
    release = true;
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_EQ(c.w().进度条1.position(), 0);
    EXPECT_EQ(c.w().时钟1.interval(), 0);
    EXPECT_EQ(platform::fileSize(c.local.file("big.bin")), size);
    EXPECT_EQ(c.local.read("big.bin.part"), "a browser's half file");
}

// The server ends a transfer with 226 after half the file: the row's size
// from the listing tells, the download fails and the old file stays.
TEST(DownloadFaults, AShortTransferIsAFailure) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 10 Jan 01 2024 half.bin\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 whole.bin\r\n");
    server.setFile("/half.bin", "12345");
    server.setFile("/whole.bin", "12345");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.local.write("half.bin", "the old file");
    c.select("远程文件框", {"half.bin", "whole.bin"});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_TRUE(c.logHas("half.bin    下载失败"));
    EXPECT_TRUE(c.logHas("whole.bin    下载成功"));
    EXPECT_EQ(c.local.read("half.bin"), "the old file");
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：1   失败个数：1");
}

namespace {

// Another service on a port below 1024 (as root only): it sends its bytes
// to whoever connects and keeps what it is sent.
class LowPortService {
public:
    LowPortService() : fd_(listenOnLowPort(port_)) {
        if (fd_ >= 0)
            thread_ = std::thread([this] { serve(); });
    }
    ~LowPortService() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    int port() const { return port_; }
    int connections() const { return connections_; }

private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1)
                continue;
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0)
                continue;
            ++connections_;
            ::send(client, "EVIL", 4, MSG_NOSIGNAL);
            ::shutdown(client, SHUT_WR);
            char buffer[256];
            while (::recv(client, buffer, sizeof buffer, 0) > 0) {
            }
            ::close(client);
        }
    }

    int port_ = 0;  // set while fd_ is made
    int fd_ = -1;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

// A server refusing active mode whose passive replies aim at a port below
// 1024 (another service on its host): the transfer fails rather than take
// that service's bytes for the file, and no connection is made to it.
TEST(DownloadFaults, PassiveRepliesAimedAtALowPortAreRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a port below 1024 needs root";
    LowPortService service;
    ASSERT_GT(service.port(), 0);
    const int lowPort = service.port();
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 4 Jan 01 2024 f.txt\r\n");
    aimPassiveRepliesAt(server, lowPort);
    // The data would come from the other service: the server just answers.
    server.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 ok");
        s.reply("226 done");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    // The listing itself needs a data connection: the list stays empty.
    EXPECT_EQ(c.w().远程文件框.itemCount(), 0);
    c.w().远程文件框.insertItem(-1, "f.txt", 5, kKindFile);
    c.w().远程文件框.setItemText(0, 1, "0.004");
    c.select("远程文件框", {"f.txt"});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_TRUE(c.logHas("f.txt    下载失败"));
    EXPECT_FALSE(platform::pathExists(c.local.file("f.txt")));
    EXPECT_EQ(service.connections(), 0);
}

// A server that reads the control connection as Telnet (IAC and the byte
// after it dropped, IAC IAC one 0xFF): a name holding 0xFF reaches it byte
// for byte, so the download, the delete and the upload act on that file
// and never on the one named without those bytes.
TEST(DownloadFaults, NamesHoldingIacReachATelnetReadingServerByteForByte) {
    const std::string name = "a\xff\xf4" "b.txt";
    ScriptedFtpServer server;
    server.setTelnetControl(true);
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 " + name + "\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 ab.txt\r\n");
    server.setFile("/" + name, "right");
    server.setFile("/ab.txt", "wrong");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    const std::string shown = platform::escapeInvalidUtf8(name);
    ASSERT_GE(c.w().远程文件框.findItem(shown), 0);

    c.select("远程文件框", {shown});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_EQ(c.local.read(name), "right");
    EXPECT_FALSE(platform::pathExists(c.local.file("ab.txt")));

    c.select("远程文件框", {shown});
    deleteRemoteCommand();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }));
    EXPECT_TRUE(sawCommand(server, "DELE /" + name));
    EXPECT_EQ(c.w().远程文件框.findItem(shown), -1);

    c.local.write("c\xff\xf4" "d.txt", "sent");
    listLocalDirectory();
    c.select("上传文件框", {platform::escapeInvalidUtf8("c\xff\xf4" "d.txt")});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    EXPECT_EQ(server.upload("/c\xff\xf4" "d.txt"), "sent");
    for (const std::string& command : server.commands()) {
        EXPECT_NE(command, "RETR /ab.txt");
        EXPECT_NE(command, "DELE /ab.txt");
        EXPECT_NE(command, "STOR /cd.txt");
    }
}
