// The window keeps its connection usable: a connection the server closed
// while idle (pyftpdlib's idle drop, vsftpd's idle_session_timeout) or just
// as a command ran is made again before the command, silently; a server at
// its connection limit is waited out; the keep-alive keeps an idle
// connection and stops when the user has been away.
#include "app/state/WorkerThreads.h"
#include "fileops/RemoteDelete.h"
#include "fileops/RemoteEdits.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/FtpClient.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/KeepAlive.h"
#include "ftp/handlers/RemoteListing.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Download.h"
#include "transfer/Upload.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace testsupport;

namespace {

bool idle(ConnectedWindow& c) {
    return runningWorkers() == 0 && c.w().下载钮.caption() == "下载" && c.w().上传钮.caption() == "上传" &&
           !c.w().远程文件框.disabled();
}

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

int countCommand(const ScriptedFtpServer& server, const std::string& command) {
    int n = 0;
    for (const std::string& line : server.commands())
        n += line == command;
    return n;
}

} // namespace

// pyftpdlib closes every connection (421) two seconds after its login
// (time enough for a command on a loaded machine to end before the next
// drop). Each command the user gives after a drop works, on a connection
// made again.
TEST(Reconnect, EveryCommandAfterAnIdleDropWorks) {
    TempFolder site, logs;
    site.write("a.txt", "alpha");
    site.write("sub/inner.txt", "inner");
    PyFtpdFaults faults;
    faults.idleSeconds = 2;
    faults.commandLog = logs.file("commands.log");
    PyFtpdServer server;
    ASSERT_TRUE(server.startWithFaults(site.path(), faults));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    ASSERT_GE(c.w().远程文件框.findItem("a.txt"), 0);
    DialogAnswerer answers;
    int drops = 0;
    auto afterDrop = [&](const char* what, const std::function<void()>& command) {
        ASSERT_TRUE(waitUntil([] { return !currentSession()->connectionAlive(); })) << what;
        ++drops;
        command();
        ASSERT_TRUE(waitUntil([&] { return idle(c); })) << what;
        EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功") << what;
    };

    afterDrop("refresh", [] { refreshRemote(); });
    EXPECT_GE(c.w().远程文件框.findItem("sub"), 0);
    afterDrop("download", [&] {
        c.select("远程文件框", {"a.txt"});
        downloadButton();
    });
    EXPECT_EQ(c.local.read("a.txt"), "alpha");
    afterDrop("upload", [&] {
        c.local.write("up.txt", "sent");
        listLocalDirectory();
        c.select("上传文件框", {"up.txt"});
        uploadButton();
    });
    EXPECT_EQ(site.read("up.txt"), "sent");
    afterDrop("mkdir", [&] {
        answers.queueInput("made");
        makeRemoteDirectory();
    });
    EXPECT_TRUE(platform::pathExists(site.file("made")));
    afterDrop("rename", [&] {
        answers.queueInput("renamed.txt");
        c.select("远程文件框", {"up.txt"});
        renameRemote();
    });
    EXPECT_EQ(site.read("renamed.txt"), "sent");
    afterDrop("delete", [&] {
        c.select("远程文件框", {"a.txt"});
        deleteRemoteCommand();
    });
    EXPECT_FALSE(platform::pathExists(site.file("a.txt")));
    afterDrop("enter", [&] {
        c.select("远程文件框", {"sub"});
        remoteItemDoubleClicked();
    });
    EXPECT_EQ(c.w().FTP目录框.text(), "/sub");
    EXPECT_GE(c.w().远程文件框.findItem("inner.txt"), 0);
    afterDrop("up", [] { goUpRemote(); });
    EXPECT_EQ(c.w().FTP目录框.text(), "/");
    afterDrop("typed path", [&] {
        c.w().FTP目录框.setText("/sub");
        remotePathEntered();
    });
    EXPECT_EQ(c.w().FTP目录框.text(), "/sub");
    EXPECT_GE(c.w().远程文件框.findItem("inner.txt"), 0);

    // No failure was shown: only the rename's own answer.
    for (const std::string& text : answers.texts())
        EXPECT_TRUE(text == "请输入目录名" || text == "请输入新文件名" || text == "修改成功") << text;
    for (const std::string& line : c.logLines())
        EXPECT_EQ(line.find("失败"), std::string::npos) << line;
    // A login for the connect and one for each reconnect (a command that
    // outlasts the next drop needs another).
    EXPECT_GE(count(readFileBytes(logs.file("commands.log")), "USER tester\n"), 1 + drops);
}

TEST(Reconnect, RefreshAfterVsftpdClosedAnIdleConnection) {
    VsftpdServer server;
    if (!server.available())
        GTEST_SKIP() << "vsftpd needs root";
    TempFolder root;
    VsftpdOptions options;
    options.idleSessionSeconds = 1;
    server.setOptions(options);
    ASSERT_TRUE(server.start(root.path())) << server.errors();
    ConnectedWindow c(server.port(), "anonymous", "guest");  // any password
    ASSERT_GE(c.w().远程文件框.findItem("pub"), 0);
    ASSERT_TRUE(waitUntil([] { return !currentSession()->connectionAlive(); }));
    refreshRemote();
    ASSERT_TRUE(waitUntil([&] { return idle(c); }));
    EXPECT_GE(c.w().远程文件框.findItem("pub"), 0);
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(c.w().状态条1.paneText(1), "文件数:1");
    EXPECT_FALSE(c.logHas("读取目录“/”失败"));
}

// The server closes the connection the moment a command comes, once for
// each kind: the command runs again on a connection made again.
TEST(Reconnect, ACommandWhoseConnectionDropsJustThenRunsAgain) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n");
    std::atomic<bool> listDropped{false}, renameDropped{false}, mkdDropped{false}, cwdDropped{false};
    auto dropOnce = [](std::atomic<bool>& dropped, ScriptedSession& s, const char* answer) {
        if (!dropped.exchange(true))
            s.close();
        else
            s.reply(answer);
    };
    std::atomic<bool> armed{false};  // the connect's own commands go through
    server.on("LIST", [&](ScriptedSession& s, const std::string&) {
        if (armed && !listDropped.exchange(true)) {
            s.close();
            return;
        }
        s.serveData("-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n");
    });
    server.on("RNFR", [&](ScriptedSession& s, const std::string&) { dropOnce(renameDropped, s, "350 go on"); });
    server.on("MKD", [&](ScriptedSession& s, const std::string&) { dropOnce(mkdDropped, s, "257 \"/made\" created"); });
    server.on("CWD", [&](ScriptedSession& s, const std::string& path) {
        if (path == "/sub")
            dropOnce(cwdDropped, s, "250 ok");
        else
            s.reply("250 ok");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_EQ(c.w().远程文件框.itemCount(), 1);
    armed = true;
    DialogAnswerer answers;

    refreshRemote();
    ASSERT_TRUE(waitUntil([&] { return idle(c) && listDropped; }));
    EXPECT_EQ(c.w().远程文件框.itemCount(), 1);

    answers.queueInput("b.txt");
    c.select("远程文件框", {"a.txt"});
    renameRemote();
    ASSERT_TRUE(waitUntil([&] { return idle(c) && answers.seen() == 2; }));
    EXPECT_EQ(answers.texts()[1], "修改成功");

    answers.queueInput("made");
    makeRemoteDirectory();
    ASSERT_TRUE(waitUntil([&] { return idle(c) && mkdDropped; }));

    c.w().FTP目录框.setText("/sub");
    remotePathEntered();
    ASSERT_TRUE(waitUntil([&] { return idle(c) && cwdDropped; }));
    EXPECT_EQ(c.w().FTP目录框.text(), "/sub");

    EXPECT_EQ(answers.seen(), 3);  // no failure among them
    EXPECT_EQ(countCommand(server, "RNFR /a.txt"), 2);
    int mkds = 0;
    for (const std::string& line : server.commands())
        mkds += line.rfind("MKD ", 0) == 0;
    EXPECT_EQ(mkds, 2);
    EXPECT_EQ(countCommand(server, "CWD /sub"), 2);
    EXPECT_EQ(server.connections(), 5);
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
}

// When the connection cannot be made again, the user is told as after a
// failed connect, and the download does not start.
TEST(Reconnect, AReconnectThatFailsIsShownAsAFailedConnect) {
    TempFolder site;
    site.write("a.txt", "alpha");
    PyFtpdFaults faults;
    faults.idleSeconds = 1;
    PyFtpdServer server;
    ASSERT_TRUE(server.startWithFaults(site.path(), faults));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    ASSERT_TRUE(waitUntil([] { return !currentSession()->connectionAlive(); }));
    server.stop();
    DialogAnswerer answers;
    c.select("远程文件框", {"a.txt"});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return idle(c); }));
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.texts()[0], "连接服务器失败!");
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_FALSE(platform::pathExists(c.local.file("a.txt")));
    EXPECT_FALSE(c.logHas("a.txt    下载失败"));
}

namespace {

// A window whose settings name a pyftpdlib that lets one connection in at a
// time, while another client holds it.
class ConnectionLimit : public ::testing::Test {
protected:
    void SetUp() override {
        PyFtpdFaults faults;
        faults.maxConnections = 1;
        ASSERT_TRUE(server.startWithFaults(site.path(), faults));
        ASSERT_TRUE(holder.connect("127.0.0.1", kPyFtpdUser, kPyFtpdPassword, server.port()));
        local.makeFolder("");
        h.writeSetting("本地目录", local.path());
        h.writeSetting("服务器目录", "/");
        h.writeSetting("IP信息", "测试|127.0.0.1|" + std::to_string(server.port()) + "|" + kPyFtpdUser + "|" +
                                     kPyFtpdPassword);
        h.open();
    }
    std::string pane0() const { return h.controls().状态条1.paneText(0); }
    bool logHas(const std::string& line) const {
        return h.controls().消息框.text().find(line + "\n") != std::string::npos;
    }

    TempFolder site, local;
    PyFtpdServer server;
    FtpClient holder;
    MainWindowHarness h;
};

} // namespace

TEST_F(ConnectionLimit, A421AtLoginIsWaitedOutThenConnects) {
    site.write("a.txt", "alpha");
    setConnectionLimitWaits({300, 2000, 5000, 10000});
    startWorker(connectServer);
    ASSERT_TRUE(waitUntil([&] { return logHas("服务器连接数已满，0.3秒后重新连接"); }));
    EXPECT_EQ(pane0(), "正在连接服务器...");
    holder.disconnect();
    ASSERT_TRUE(waitUntil([&] { return pane0() == "连接服务器成功" && runningWorkers() == 0; }, 30000));
    EXPECT_GE(h.controls().远程文件框.findItem("a.txt"), 0);
    EXPECT_FALSE(logHas("服务器连接数已满，连接失败"));
}

TEST_F(ConnectionLimit, DisconnectEndsTheWait) {
    setConnectionLimitWaits({60000});
    startWorker(connectServer);
    ASSERT_TRUE(waitUntil([&] { return logHas("服务器连接数已满，60秒后重新连接"); }));
    disconnectServer();
    ASSERT_TRUE(waitUntil([] { return runningWorkers() == 0; }, 20000));
    EXPECT_EQ(pane0(), "连接服务器失败！");
}

TEST(KeepAlive, NoopsWhileIdleNoneDuringATransferNoneAfterTheIdleLimit) {
    setKeepAliveTimes({100, 1500});
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 slow.txt\r\n");
    std::atomic<std::size_t> transferEnd{0};
    server.on("RETR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 ok");
        s.openData();
        s.sendData("slo");
        std::this_thread::sleep_for(std::chrono::milliseconds(800));  // a transfer that takes a while
        s.sendData("w!");
        transferEnd = server.commands().size();
        s.closeData();
        s.reply("226 done");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_TRUE(waitUntil([&] { return countCommand(server, "NOOP") >= 2; }));

    c.select("远程文件框", {"slow.txt"});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return idle(c); }));
    EXPECT_EQ(c.local.read("slow.txt"), "slow!");
    const std::vector<std::string> commands = server.commands();
    const auto retr = std::find(commands.begin(), commands.end(), "RETR /slow.txt");
    ASSERT_NE(retr, commands.end());
    EXPECT_EQ(std::count(retr, commands.begin() + static_cast<long>(transferEnd.load()), "NOOP"), 0);

    // 1.5 s after the last command the NOOPs stop (a NOOP found due just
    // before then may still go out late on a loaded machine).
    pump(1500 + 1500);
    const int quiet = countCommand(server, "NOOP");
    pump(1000);
    EXPECT_EQ(countCommand(server, "NOOP"), quiet);
    // A command starts them again.
    refreshRemote();
    ASSERT_TRUE(waitUntil([&] { return countCommand(server, "NOOP") > quiet; }));
    EXPECT_TRUE(currentSession()->connectionAlive());
}

TEST(KeepAlive, KeepsVsftpdFromClosingAnIdleConnection) {
    VsftpdServer server;
    if (!server.available())
        GTEST_SKIP() << "vsftpd needs root";
    setKeepAliveTimes({300, 60000});
    TempFolder root;
    VsftpdOptions options;
    options.idleSessionSeconds = 2;
    options.logProtocol = true;
    server.setOptions(options);
    ASSERT_TRUE(server.start(root.path())) << server.errors();
    ConnectedWindow c(server.port(), "anonymous", "guest");  // any password
    pump(5000);  // more than twice the server's idle limit
    EXPECT_TRUE(currentSession()->connectionAlive());
    EXPECT_GE(count(server.protocolLog(), "\"NOOP\""), 3) << server.protocolLog();
    EXPECT_EQ(count(server.protocolLog(), "\"USER anonymous\""), 1) << server.protocolLog();  // no reconnect
}

TEST(KeepAlive, ClosingTheWindowDoesNotWaitForIt) {
    TempFolder site;
    PyFtpdServer server;
    ASSERT_TRUE(server.start(site.path()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);  // a NOOP every 120 s
    QElapsedTimer clock;
    clock.start();
    c.h.close();
    EXPECT_LT(clock.elapsed(), 20000);
}
