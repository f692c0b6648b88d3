// FtpClient after the network let it down, against a scripted server: why
// an operation failed, making the connection again, and noticing one that
// the server closed while it was idle.
#include "ftp/FtpClient.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitFor.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using testsupport::ScriptedFtpServer;
using testsupport::ScriptedSession;
using testsupport::TempFolder;
using testsupport::waitFor;

namespace {

const FtpTimeouts kShortTimeouts{500, 400, 200, 300};


// A reply text the test changes while the server thread reads it.
class SharedText {
public:
    void set(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = text;
    }
    std::string get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

class RecoveryTest : public testing::Test {
protected:
    void SetUp() override { client_.setTimeouts(kShortTimeouts); }

    bool connect(bool passive = false) { return client_.connect("127.0.0.1", "user", "pw", server_.port(), passive); }
    void startAndConnect() {
        ASSERT_TRUE(server_.start());
        ASSERT_TRUE(connect());
    }
    std::vector<std::string> commandsFrom(std::size_t first) const {
        std::vector<std::string> all = server_.commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(first, all.size())), all.end());
    }
    int countCommands(const std::string& verb) const {
        int n = 0;
        for (const std::string& line : server_.commands())
            n += line.rfind(verb, 0) == 0;
        return n;
    }
    static bool holds(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    ScriptedFtpServer server_;
    FtpClient client_;
    TempFolder local_;
};

TEST_F(RecoveryTest, EveryFailureSaysWhetherTryingAgainMayHelp) {
    SharedText mode;
    server_.on("RETR", [&](ScriptedSession& s, const std::string&) {
        const std::string m = mode.get();
        if (m == "cut" || m == "stall") {
            s.reply("150 opening");
            s.openData();
            s.sendData(std::string(5000, 'x'));
            if (m == "cut")
                s.close();
            else
                s.waitForClientClose(3000);
            return;
        }
        s.reply(m);  // an answer instead of the file
    });
    ASSERT_TRUE(server_.start());
    // Never connected: there is nothing to make again.
    EXPECT_FALSE(client_.getFile("f", local_.file("f")));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);

    struct Case {
        std::string mode;
        TransferFailure failure;
    };
    const std::vector<Case> cases = {
        {"421 Service not available, closing control connection.", TransferFailure::Transient},
        {"425 Can't open data connection.", TransferFailure::Transient},
        {"426 Connection closed; transfer aborted.", TransferFailure::Transient},
        {"450 File busy.", TransferFailure::Transient},
        {"451 Local error in processing.", TransferFailure::Transient},
        {"452 Insufficient storage space.", TransferFailure::Permanent},
        {"550 No such file.", TransferFailure::Permanent},
        {"cut", TransferFailure::Transient},    // the server went away mid-transfer
        {"stall", TransferFailure::Transient},  // no byte for the stall time
    };
    for (const Case& c : cases) {
        mode.set(c.mode);
        ASSERT_TRUE(connect()) << c.mode;
        EXPECT_FALSE(client_.getFile("f", local_.file("f"))) << c.mode;
        EXPECT_EQ(client_.lastFailure(), c.failure) << c.mode;
    }
    // The connection is gone: the next operation fails at once, worth a
    // reconnect.
    EXPECT_FALSE(client_.isConnected());
    EXPECT_FALSE(client_.deleteFile("x"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);

    // Local trouble and refused input are not cured by trying again.
    ASSERT_TRUE(connect());
    EXPECT_FALSE(client_.getFile("f", local_.file("no-such-folder/f")));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client_.putFile(local_.file("no-such-file"), "up"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client_.deleteFile("a\r\nDELE b"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_TRUE(client_.deleteFile("x"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::None);
}

// Closing the window raises the abort while nothing runs: a batch's
// reconnect must not bring the connection back. (An abort during an
// operation: FaultTest.AbortFromAnotherThreadEndsABlockedTransferPromptly.)
TEST_F(RecoveryTest, AnAbortWhileIdleEndsTheNextReconnect) {
    startAndConnect();
    client_.abort();
    EXPECT_FALSE(client_.reconnect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Aborted);
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(server_.connections(), 1);
    ASSERT_TRUE(client_.reconnect());  // the abort was for that one
}

TEST_F(RecoveryTest, AConnectionLimitAtConnectOrLoginIsNotAWrongPassword) {
    SharedText passReply;
    server_.on("PASS", [&](ScriptedSession& s, const std::string&) { s.reply(passReply.get()); });
    ASSERT_TRUE(server_.start());
    struct Case {
        std::string greeting;
        std::string pass;
        TransferFailure failure;
    };
    const std::vector<Case> cases = {
        {"421 There are too many connected users, please try later.", "230 ok", TransferFailure::TooManyConnections},
        {"220 ready", "530 Sorry, the maximum number of clients (2) for this user are already connected.",
         TransferFailure::TooManyConnections},
        {"220 ready", "530 Login incorrect.", TransferFailure::Permanent},
        {"421 Service not available, closing control connection.", "230 ok", TransferFailure::Transient},
        {"220 ready", "230 ok", TransferFailure::None},
    };
    for (const Case& c : cases) {
        server_.setGreeting(c.greeting + "\r\n");
        passReply.set(c.pass);
        EXPECT_EQ(connect(), c.failure == TransferFailure::None) << c.greeting << c.pass;
        EXPECT_EQ(client_.lastFailure(), c.failure) << c.greeting << c.pass;
    }
}

TEST_F(RecoveryTest, EachThreadLearnsWhyItsOwnOperationFailed) {
    server_.on("DELE", [](ScriptedSession& s, const std::string&) { s.reply("550 Permission denied."); });
    startAndConnect();
    EXPECT_FALSE(client_.deleteFile("x"));
    std::thread window([&] {
        EXPECT_TRUE(client_.makeDirectory("d"));
        EXPECT_EQ(client_.lastFailure(), TransferFailure::None);
    });
    window.join();
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
}

TEST_F(RecoveryTest, ReconnectLogsInAgainAndReturnsToTheFolder) {
    // Active mode is refused: the first listing falls back to passive.
    server_.on("PORT", [](ScriptedSession& s, const std::string&) { s.reply("500 no active mode here"); });
    server_.on("DELE", [](ScriptedSession& s, const std::string&) { s.close(); });  // the server drops us
    server_.on("PWD", [](ScriptedSession& s, const std::string&) { s.reply("257 \"/pub/a b/sub\" is current"); });
    server_.setListing("-rw-r--r-- 1 0 0 3 Jan 01 2020 one.txt\r\n");
    startAndConnect();
    ASSERT_TRUE(client_.setCurrentDirectory("/pub/a b"));
    EXPECT_EQ(client_.listDirectory("*"), 1);

    EXPECT_FALSE(client_.deleteFile("x"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
    EXPECT_FALSE(client_.isConnected());
    std::size_t mark = server_.commands().size();
    ASSERT_TRUE(client_.reconnect());
    EXPECT_TRUE(client_.isConnected());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::None);
    std::vector<std::string> again = commandsFrom(mark);
    EXPECT_TRUE(holds(again, "USER user"));
    EXPECT_TRUE(holds(again, "PASS pw"));
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again.back(), "CWD /pub/a b");
    EXPECT_EQ(server_.connections(), 2);
    // What the server taught the first connection holds: passive at once.
    EXPECT_EQ(client_.listDirectory("*"), 1);
    EXPECT_EQ(countCommands("PORT"), 1);

    // After a relative CWD the folder is known again once PWD names it.
    ASSERT_TRUE(client_.setCurrentDirectory("sub"));
    EXPECT_EQ(client_.currentDirectory(), "/pub/a b/sub");
    EXPECT_FALSE(client_.deleteFile("x"));
    mark = server_.commands().size();
    ASSERT_TRUE(client_.reconnect());
    EXPECT_EQ(commandsFrom(mark).back(), "CWD /pub/a b/sub");

    // Unknown since a relative CWD: the server's start directory.
    ASSERT_TRUE(client_.setCurrentDirectory("deeper"));
    EXPECT_FALSE(client_.deleteFile("x"));
    mark = server_.commands().size();
    ASSERT_TRUE(client_.reconnect());
    for (const std::string& line : commandsFrom(mark))
        EXPECT_NE(line.rfind("CWD", 0), 0u) << line;

    // A folder that is gone by now: the reconnect fails, disconnected.
    ASSERT_TRUE(client_.setCurrentDirectory("/pub/gone"));
    server_.on("CWD", [](ScriptedSession& s, const std::string&) { s.reply("550 No such directory."); });
    EXPECT_FALSE(client_.deleteFile("x"));
    EXPECT_FALSE(client_.reconnect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client_.isConnected());

    // The user's disconnect ends what reconnect repeats.
    ASSERT_TRUE(connect());
    client_.disconnect();
    EXPECT_FALSE(client_.reconnect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
}

TEST_F(RecoveryTest, AConnectionTheServerClosedWhileIdleIsNoticedWithoutACommand) {
    client_.setTimeouts(FtpTimeouts{});  // a check that waited would take 30 s
    SharedText farewell;
    server_.on("PWD", [&](ScriptedSession& s, const std::string&) {
        s.reply("257 \"/\"");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s.send(farewell.get());
        s.close();
    });
    ASSERT_TRUE(server_.start());
    for (const char* words : {"421 Timeout.\r\n", ""}) {
        farewell.set(words);
        ASSERT_TRUE(connect()) << words;
        EXPECT_TRUE(client_.connectionAlive()) << words;
        EXPECT_EQ(client_.currentDirectory(), "/") << words;
        const std::size_t sent = server_.commands().size();
        EXPECT_TRUE(waitFor([&] { return !client_.connectionAlive(); })) << words;
        EXPECT_FALSE(client_.isConnected()) << words;
        EXPECT_EQ(server_.commands().size(), sent) << words;  // nothing was sent to find out
    }
}

TEST_F(RecoveryTest, KeepAliveSendsNoopOnlyWhileNothingRuns) {
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.openData();
        for (int i = 0; i < 10; ++i) {
            s.sendData("0123456789");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        s.closeData();
        s.reply("226 done");
    });
    startAndConnect();
    EXPECT_TRUE(client_.keepAlive());
    EXPECT_EQ(countCommands("NOOP"), 1);

    std::thread download([&] { EXPECT_TRUE(client_.getFile("slow", local_.file("slow"))); });
    ASSERT_TRUE(waitFor([&] { return client_.transferredBytes() > 0; }));
    // The transfer holds the client: nothing is sent, nothing waited for.
    EXPECT_TRUE(client_.keepAlive());
    EXPECT_TRUE(client_.connectionAlive());
    download.join();
    EXPECT_EQ(countCommands("NOOP"), 1);

    server_.on("NOOP", [](ScriptedSession& s, const std::string&) { s.close(); });
    EXPECT_FALSE(client_.keepAlive());
    EXPECT_FALSE(client_.isConnected());
    EXPECT_FALSE(client_.keepAlive());  // and nothing more is tried
}

// TLS: the user's yes to a certificate holds for the same certificate on
// the new connection, and the server may resume the session.
TEST(TlsRecovery, AnAcceptedCertificateIsAcceptedAgainAndTheSessionResumed) {
    testsupport::TestCertificates certificates;
    ScriptedFtpServer server;
    FtpClient client;
    client.setTimeouts(FtpTimeouts{500, 1000, 500, 1000});
    std::atomic<int> asked{0};
    std::atomic<bool> accept{true};
    client.setCertificateCheck([&](const std::string&, int, const ftp::ServerCertificate&) {
        ++asked;
        return accept.load();
    });
    const testsupport::CertificateFiles first = certificates.selfSigned("first");
    ASSERT_TRUE(server.enableTls(first.certificate, first.key));
    server.on("DELE", [](ScriptedSession& s, const std::string&) { s.close(); });
    server.setListing("-rw-r--r-- 1 0 0 3 Jan 01 2020 one.txt\r\n");
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(client.connect("127.0.0.1", "user", "pw", server.port()));
    EXPECT_EQ(asked.load(), 1);

    EXPECT_FALSE(client.deleteFile("x"));
    ASSERT_TRUE(client.reconnect());
    EXPECT_EQ(asked.load(), 1);
    EXPECT_EQ(server.resumedSessions(), 1);
    ConnectionSecurity security = client.security();
    EXPECT_TRUE(security.controlProtected && security.dataProtected);
    EXPECT_EQ(client.listDirectory("*"), 1);

    // A server started again cannot resume the session; its certificate
    // is still the one accepted.
    EXPECT_FALSE(client.deleteFile("x"));
    const int port = server.port();
    server.stop();
    ASSERT_TRUE(server.enableTls(first.certificate, first.key));
    ASSERT_TRUE(server.start(port));
    ASSERT_TRUE(client.reconnect());
    EXPECT_EQ(server.resumedSessions(), 1);
    EXPECT_EQ(asked.load(), 1);

    // Another certificate on the same address is asked about; refused,
    // the reconnect fails.
    EXPECT_FALSE(client.deleteFile("x"));
    server.stop();
    const testsupport::CertificateFiles second = certificates.selfSigned("second");
    ASSERT_TRUE(server.enableTls(second.certificate, second.key));
    ASSERT_TRUE(server.start(port));
    accept = false;
    EXPECT_FALSE(client.reconnect());
    EXPECT_EQ(asked.load(), 2);
    EXPECT_EQ(client.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client.isConnected());
}

} // namespace
