// Each connect makes a session of its own, and an operation keeps the one
// it started on: connecting to another server while a transfer runs
// neither cuts the transfer nor sends any of it to the other server, nor
// shows its result in the other server's list.
#include "ftp/handlers/CurrentSession.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace testsupport;

namespace {

// A scripted first server whose transfers wait for the test, and a
// pyftpdlib second one serving other.txt.
class CurrentSession : public testing::Test {
protected:
    void SetUp() override {
        site_.write("other.txt", "o");
        ASSERT_TRUE(second_.start(site_.path()));
    }

    // Until the test releases it (bounded, so that a failed test ends).
    void holdUntilReleased() const {
        for (int i = 0; i < 12000 && !release_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    // Connects the window to the second server, as the user does with F5.
    void connectToSecond(ConnectedWindow& c) {
        c.h.writeSetting("IP信息", "第二|127.0.0.1|" + std::to_string(second_.port()) + "|" + kPyFtpdUser + "|" +
                                       kPyFtpdPassword);
        QTest::keyClick(c.h.form(), Qt::Key_F5);
        ASSERT_TRUE(waitUntil([&] {
            return c.w().window.title() == "Corvane——第二" && c.w().远程文件框.findItem("other.txt") >= 0;
        }, 30000));
    }

    std::atomic<bool> release_{false};
    ScriptedFtpServer first_;
    TempFolder site_;
    PyFtpdServer second_;
};

} // namespace

TEST_F(CurrentSession, ABatchFinishesOnItsServerWhileTheWindowConnectsToAnother) {
    first_.setListing("-rw-r--r-- 1 0 0 6 Jan 01 2020 slow.txt\r\n");
    first_.on("RETR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 Opening BINARY mode data connection for slow.txt (6 bytes)");
        s.openData();
        s.sendData("abc");
        holdUntilReleased();
        s.sendData("def");
        s.closeData();
        s.reply("226 done");
    });
    ASSERT_TRUE(first_.start());
    ConnectedWindow c(first_.port(), "u", "p");
    ASSERT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    SessionHandle firstSession = currentSession();
    c.select("远程文件框", {"slow.txt"});
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>("下载钮"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return first_.received("RETR"); }));

    ASSERT_NO_FATAL_FAILURE(connectToSecond(c));
    EXPECT_NE(currentSession(), firstSession);
    EXPECT_TRUE(currentSession()->isConnected());
    EXPECT_EQ(c.w().下载钮.caption(), "停止");
    EXPECT_TRUE(firstSession->isConnected());

    release_ = true;
    ASSERT_TRUE(waitUntil([&] { return c.w().下载钮.caption() == "下载" && runningWorkers() == 0; }, 60000));
    EXPECT_EQ(c.local.read("slow.txt"), "abcdef");
    EXPECT_TRUE(c.logHas("slow.txt    下载成功"));
    EXPECT_FALSE(platform::pathExists(site_.file("slow.txt")));
    // The old connection ends when its last user lets go.
    ASSERT_EQ(first_.finishedConnections(), 0);
    const std::weak_ptr<RemoteSession> old = firstSession;
    firstSession.reset();
    EXPECT_TRUE(old.expired());
    EXPECT_TRUE(waitUntil([&] { return first_.finishedConnections() == 1; }));
    EXPECT_TRUE(currentSession()->isConnected());
}

// The new server's folder of the same path is another folder: a file the
// old server received gets no row in the list the window shows now.
TEST_F(CurrentSession, AnUploadFinishingOnTheOldServerAddsNoRowToTheNewServersList) {
    first_.on("STOR", [&](ScriptedSession& s, const std::string& name) {
        holdUntilReleased();
        s.server().storeFile(s, name, false);
    });
    ASSERT_TRUE(first_.start());
    ConnectedWindow c(first_.port(), "u", "p");
    ASSERT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    c.local.write("up.txt", "uploaded");
    listLocalDirectory();
    c.select("上传文件框", {"up.txt"});
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>("上传钮"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return first_.received("STOR"); }));

    ASSERT_NO_FATAL_FAILURE(connectToSecond(c));
    release_ = true;
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }, 60000));
    EXPECT_EQ(first_.upload("/up.txt"), "uploaded");
    EXPECT_TRUE(c.logHas("up.txt”    上传成功"));
    EXPECT_FALSE(platform::pathExists(site_.file("up.txt")));
    EXPECT_EQ(c.w().远程文件框.findItem("up.txt"), -1);
    EXPECT_GE(c.w().远程文件框.findItem("other.txt"), 0);
}
