// Remote operations of the real window against a scripted server that is
// slow or hostile: the window keeps answering, every operation ends at its
// deadline or when the user ends it, and listings that cannot be shown
// whole are reported.
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "ftp/handlers/CurrentSession.h"
#include "tests/support/GuiHarness.h"
#include "tests/support/ScriptedFtpServer.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;

class WindowAnswers : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = sessionTimeouts();
        server.setListing("-rw-r--r-- 1 0 0 1 Jan 01 2020 a.txt\r\n");
    }
    void TearDown() override {
        h.close();
        setSessionTimeouts(saved_);
    }

    // Starts the server (its handlers set before), opens the window and
    // connects it; the time-outs apply from then on.
    void connectWindow(const FtpTimeouts& timeouts) {
        ASSERT_TRUE(server.start());
        h.writeSetting("本地目录", local.path());
        h.writeSetting("服务器目录", "/");
        h.writeSetting("IP信息", "脚本|127.0.0.1|" + std::to_string(server.port()) + "|u|p");
        h.open();
        setSessionTimeouts(timeouts);
        QTest::keyClick(h.form(), Qt::Key_F5);
        ASSERT_TRUE(waitForWorkers(10000));
        ASSERT_EQ(w().状态条1.paneText(0), "连接服务器成功");
    }

    MainWindow& w() const { return h.controls(); }

    void enterPath(const std::string& path) {
        w().FTP目录框.setText(path);
        QTest::keyClick(h.form()->findChild<QLineEdit*>("FTP目录框"), Qt::Key_Return);
    }

    // Waits until the workers the user's action started have ended; the
    // heartbeat records how long the window went without answering.
    double waitWatched(UiHeartbeat& beat, qint64& longestGapMs, int timeoutMs = 15000) {
        auto started = Clock::now();
        EXPECT_TRUE(waitUntil([] { return runningWorkers() == 0; }, timeoutMs));
        longestGapMs = beat.longestGapMs();
        return std::chrono::duration<double>(Clock::now() - started).count();
    }

    // A LIST of /slow trickles one line every 100 ms for forMs; any other
    // path lists one file.
    void trickleAtSlow(int forMs) {
        server.on("LIST", [forMs](ScriptedSession& s, const std::string& argument) {
            if (argument == "/slow")
                trickleListing(s, 100, forMs);
            else
                s.serveData("-rw-r--r-- 1 0 0 1 Jan 01 2020 a.txt\r\n");
        });
    }

    // Starts the listing of /slow and lets it run a while.
    void startSlowListing() {
        enterPath("/slow");
        pump(300);
        ASSERT_EQ(runningWorkers(), 1);
    }

    bool logHas(const std::string& line) const {
        return ("\n" + w().消息框.text()).find("\n" + line + "\n") != std::string::npos;
    }

    ScriptedFtpServer server;
    TempFolder local;
    MainWindowHarness h;

private:
    FtpTimeouts saved_;
};

const FtpTimeouts kQuick{2000, 800, 1000, 1000, 1500};

} // namespace

TEST_F(WindowAnswers, ATricklingListingEndsAtItsDeadlineAndIsReported) {
    trickleAtSlow(10000);  // each line well within the stall time
    connectWindow(kQuick);
    UiHeartbeat beat;
    enterPath("/slow");
    EXPECT_EQ(runningWorkers(), 1);  // the key press returned at once
    ASSERT_TRUE(waitUntil([&] { return w().远程文件框.disabled(); }, 2000));
    EXPECT_TRUE(w().反退钮.disabled());
    qint64 gap = 0;
    const double took = waitWatched(beat, gap);
    EXPECT_LE(gap, kUiAnswerMs);
    EXPECT_GE(took, 1.0);  // it ran until its deadline (1.5 s)...
    EXPECT_LT(took, 5.0);  // ...and not much longer
    EXPECT_TRUE(logHas("读取目录“/slow”失败"));
    EXPECT_EQ(w().远程文件框.itemCount(), 0);
    EXPECT_EQ(w().状态条1.paneText(1), "文件数:0");
    EXPECT_FALSE(w().远程文件框.disabled());
    EXPECT_FALSE(w().反退钮.disabled());
    // The server answered the cut listing: the connection goes on.
    enterPath("/");
    ASSERT_TRUE(waitForWorkers(10000));
    EXPECT_EQ(w().远程文件框.itemCount(), 1);
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(WindowAnswers, KeepAliveRepliesInsteadOfTheEndOfARefreshEndAtTheReplyTimeout) {
    std::atomic<int> listings{0};
    server.on("LIST", [&](ScriptedSession& s, const std::string&) {
        if (listings++ == 0) {
            s.serveData("-rw-r--r-- 1 0 0 1 Jan 01 2020 a.txt\r\n");
            return;
        }
        s.reply("150 here it comes");
        s.openData();
        s.sendData("-rw-r--r-- 1 0 0 1 Jan 01 2020 a.txt\r\n");
        s.closeData();
        for (int i = 0; i < 100 && s.send("150 still working\r\n"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    connectWindow(kQuick);
    UiHeartbeat beat;
    h.form()->findChild<QAction*>("刷新(&A)")->trigger();
    EXPECT_EQ(runningWorkers(), 1);
    qint64 gap = 0;
    const double took = waitWatched(beat, gap);
    EXPECT_LE(gap, kUiAnswerMs);
    EXPECT_LT(took, 5.0);  // the reply time-out is 0.8 s, the server went on for 10 s
    EXPECT_TRUE(logHas("读取目录“/”失败"));
    EXPECT_EQ(w().状态条1.paneText(1), "文件数:0");
}

TEST_F(WindowAnswers, ClosingTheWindowEndsARunningListingAtOnce) {
    trickleAtSlow(20000);
    connectWindow(FtpTimeouts{});  // the long defaults: only the close can end it
    startSlowListing();
    QElapsedTimer clock;
    clock.start();
    h.close();
    // Well below the 3 s the close waits for a worker it cannot wake.
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(runningWorkers(), 0);
}

TEST_F(WindowAnswers, DisconnectEndsARunningListingAtOnce) {
    trickleAtSlow(20000);
    connectWindow(FtpTimeouts{});
    startSlowListing();
    UiHeartbeat beat;
    QTest::keyClick(h.form(), Qt::Key_F6);
    EXPECT_TRUE(waitUntil([] { return runningWorkers() == 0; }, 2000));
    EXPECT_LE(beat.longestGapMs(), kUiAnswerMs);
    EXPECT_EQ(w().状态条1.paneText(0), "已断开服务器");
    EXPECT_EQ(w().远程文件框.itemCount(), 0);
    EXPECT_FALSE(w().远程文件框.disabled());
}

TEST_F(WindowAnswers, ListingsThatNeverEndOrHoldTooManyEntriesAreReported) {
    const std::string hugeLines = mlsdLines(ftp::kMaxListingEntries + 1);
    server.setFeatures({"MLST type*;"});
    server.on("MLSD", [&](ScriptedSession& s, const std::string& argument) {
        if (argument == "/huge") {
            s.serveData(hugeLines);
        } else if (argument == "/endless") {
            endlessListing(s);
        } else {
            s.serveData("type=file; small.txt\r\n");
        }
    });
    connectWindow(FtpTimeouts{});
    for (const char* path : {"/endless", "/huge"}) {
        UiHeartbeat beat;
        enterPath(path);
        qint64 gap = 0;
        waitWatched(beat, gap, 60000);
        EXPECT_LE(gap, kUiAnswerMs) << path;
        EXPECT_TRUE(logHas("读取目录“" + std::string(path) + "”失败：列表过长")) << path;
        EXPECT_EQ(w().远程文件框.itemCount(), 0) << path;
        EXPECT_EQ(w().状态条1.paneText(1), "文件数:0") << path;
    }
    enterPath("/");
    ASSERT_TRUE(waitForWorkers(10000));
    ASSERT_EQ(w().远程文件框.itemCount(), 1);
    EXPECT_EQ(w().远程文件框.itemText(0), "small.txt");
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(WindowAnswers, RenameAndMakeDirectoryWaitForASlowServerOnAWorker) {
    std::atomic<int> renamed{0};
    server.on("RNTO", [&](ScriptedSession& s, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ++renamed;
        s.reply("250 renamed");
    });
    server.on("LIST", [&](ScriptedSession& s, const std::string&) {
        s.serveData(renamed ? "-rw-r--r-- 1 0 0 1 Jan 01 2020 b.txt\r\n"
                            : "-rw-r--r-- 1 0 0 1 Jan 01 2020 a.txt\r\n");
    });
    server.on("MKD", [](ScriptedSession& s, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        s.reply("257 \"/new\" created");
    });
    connectWindow(FtpTimeouts{});
    DialogAnswerer answers;

    w().远程文件框.selectItem(0);
    answers.queueInput("b.txt");
    UiHeartbeat renameBeat;
    h.form()->findChild<QAction*>("重命名(&M)")->trigger();
    EXPECT_EQ(runningWorkers(), 1);  // the menu returned while the server thinks
    qint64 gap = 0;
    waitWatched(renameBeat, gap);
    EXPECT_LE(gap, kUiAnswerMs);
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.texts()[1], "修改成功");
    ASSERT_EQ(w().远程文件框.itemCount(), 1);
    EXPECT_EQ(w().远程文件框.itemText(0), "b.txt");

    w().远程文件框.selectItem(0);
    answers.queueInput("new");
    UiHeartbeat makeBeat;
    h.form()->findChild<QAction*>("创建目录(&C)")->trigger();
    EXPECT_EQ(w().远程文件框.itemCount(), 1);  // the row comes when the server said yes
    waitWatched(makeBeat, gap);
    EXPECT_LE(gap, kUiAnswerMs);
    ASSERT_EQ(w().远程文件框.itemCount(), 2);
    EXPECT_EQ(w().远程文件框.itemText(0), "new");
    EXPECT_EQ(w().远程文件框.itemImage(0), 0);
    EXPECT_EQ(answers.seen(), 3);
}

TEST_F(WindowAnswers, ClosingIsNotHeldByAWorkerStuckInTheFileSystem) {
    connectWindow(FtpTimeouts{});
    // A read from an empty pipe: a call no abort of the connection ends.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    startWorker([reader = pipeFds[0]] {
        char byte = 0;
        [[maybe_unused]] ssize_t n = ::read(reader, &byte, 1);
    });
    QElapsedTimer clock;
    clock.start();
    h.close();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(runningWorkers(), 1);  // left behind, not waited for
    ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
    EXPECT_TRUE(waitForWorkers(10000));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}
