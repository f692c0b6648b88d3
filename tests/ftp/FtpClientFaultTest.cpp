// FtpClient against a scripted server that misbehaves in the ways real
// servers rarely do. Every case must end in a clean failure within the
// (shortened) time-outs and leave a client that can connect again.
#include "ftp/FtpClient.h"
#include "ftp/PartialFile.h"
#include "platform/TextCodec.h"
#include "tests/support/FtpServers.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using testsupport::ScriptedFtpServer;
using testsupport::ScriptedSession;
using testsupport::TempFolder;
using testsupport::endlessListing;
using testsupport::mlsdLines;
using testsupport::trickleListing;

namespace {

const FtpTimeouts kShortTimeouts{500, 400, 200, 300};

class FaultTest : public testing::Test {
protected:
    void SetUp() override { client_.setTimeouts(kShortTimeouts); }

    bool connect() { return client_.connect("127.0.0.1", "user", "pw", server_.port()); }

    // A connect that is not under test: the default time-outs, so a busy
    // machine (sanitizers, parallel tests) does not fail it; the test's
    // own again for what follows.
    bool connectPatiently() {
        const FtpTimeouts testTimeouts = client_.timeouts();
        client_.setTimeouts(FtpTimeouts{});
        bool connected = connect();
        client_.setTimeouts(testTimeouts);
        return connected;
    }

    // Starts the server and connects; the handlers must be set before.
    void startAndConnect() {
        ASSERT_TRUE(server_.start());
        ASSERT_TRUE(connectPatiently());
    }

    // After a fault: the client works again on a fresh connection.
    void expectUsableAgain() {
        server_.on("PWD", [](ScriptedSession& s, const std::string&) { s.reply("257 \"/again\""); });
        ASSERT_TRUE(connectPatiently());
        EXPECT_EQ(client_.currentDirectory(), "/again");
    }

    int countCommands(const std::string& verb) const {
        int n = 0;
        for (const std::string& line : server_.commands())
            n += line.rfind(verb, 0) == 0;
        return n;
    }

    ScriptedFtpServer server_;
    FtpClient client_;
    TempFolder local_;
};

TEST(FtpClientOffline, EveryOperationFailsWithoutAConnection) {
    TempFolder local;
    local.write("up.txt", "x");
    FtpClient client;
    EXPECT_FALSE(client.isConnected());
    EXPECT_FALSE(client.getFile("a", local.file("down.txt")));
    EXPECT_FALSE(std::filesystem::exists(local.file("down.txt")));
    EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(local.file("down.txt"))));
    EXPECT_FALSE(client.putFile(local.file("up.txt"), "a"));
    EXPECT_FALSE(client.deleteFile("a"));
    EXPECT_FALSE(client.renameFile("a", "b"));
    EXPECT_FALSE(client.makeDirectory("a"));
    EXPECT_FALSE(client.removeDirectory("a"));
    EXPECT_FALSE(client.setCurrentDirectory("/"));
    EXPECT_EQ(client.currentDirectory(), "");
    std::vector<std::string> names{"stale"};
    EXPECT_EQ(client.listDirectory("*", -1, &names), 0);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(client.openSession());
    client.disconnect();
}

TEST_F(FaultTest, RepliesSplitAtEveryByteAndBunchedInOneRead) {
    server_.setGreeting("220-welcome\r\n220 ready\r\n");
    server_.on("USER", [](ScriptedSession& s, const std::string&) {
        s.sendByteByByte("331-first line\r\n331 password\r\n");
    });
    server_.on("PWD", [](ScriptedSession& s, const std::string&) {
        s.sendByteByByte("257-\"/ignored\"\r\n257 \"/dir with \"\"quote\"\"\"\r\n");
    });
    server_.on("LIST", [](ScriptedSession& s, const std::string&) {
        s.openData();
        s.sendData("-rw-r--r-- 1 0 0 3 Jan 01 2020 one.txt\r\n");
        s.closeData();
        s.send("150 here\r\n226 done\r\n");  // both in one write
    });
    startAndConnect();
    EXPECT_EQ(client_.currentDirectory(), "/ignored");
    std::vector<std::string> names;
    EXPECT_EQ(client_.listDirectory("*", -1, &names), 1);
    EXPECT_TRUE(client_.isConnected());
}

TEST_F(FaultTest, HundredsOfFeatureLinesAreRead) {
    std::vector<std::string> features;
    for (int i = 0; i < 400; ++i)
        features.push_back("X-FEATURE-" + std::to_string(i));
    features.push_back("MLST type*;size*;");
    server_.setFeatures(features);
    server_.setListing("type=file;size=5; from-mlsd.txt\r\n");
    startAndConnect();
    std::vector<std::string> names;
    ASSERT_EQ(client_.listDirectory("/*", -1, &names), 1);
    EXPECT_EQ(names[0], "from-mlsd.txt");
    EXPECT_TRUE(server_.received("MLSD"));
}

TEST_F(FaultTest, MlsdRefusedFallsBackToList) {
    server_.setFeatures({"MLST type*;"});
    server_.on("MLSD", [](ScriptedSession& s, const std::string&) { s.reply("500 not here"); });
    server_.setListing("-rw-r--r-- 1 0 0 3 Jan 01 2020 via-list.txt\r\n");
    startAndConnect();
    std::vector<std::string> names;
    ASSERT_EQ(client_.listDirectory("*", -1, &names), 1);
    EXPECT_EQ(names[0], "via-list.txt");
    ASSERT_EQ(client_.listDirectory("*", -1, &names), 1);
    EXPECT_EQ(countCommands("MLSD"), 1);  // not asked again on this connection
}

TEST_F(FaultTest, OverLongGarbageAndNulRepliesDropTheConnection) {
    int round = 0;
    server_.on("PWD", [&](ScriptedSession& s, const std::string&) {
        if (round == 0)
            s.send("257 \"" + std::string(20000, 'x') + "\"\r\n");
        else if (round == 1)
            s.send("this is not a reply\r\n");
        else
            s.send(std::string("257 \"/a\0b\"\r\n", 12));
    });
    ASSERT_TRUE(server_.start());
    for (round = 0; round < 3; ++round) {
        ASSERT_TRUE(connect()) << round;
        EXPECT_EQ(client_.currentDirectory(), "") << round;
        EXPECT_FALSE(client_.isConnected()) << round;
    }
    expectUsableAgain();
}

TEST_F(FaultTest, MalformedPathReplyGivesEmptyTextAndKeepsTheConnection) {
    server_.on("PWD", [](ScriptedSession& s, const std::string&) { s.reply("257 \"/unterminated"); });
    startAndConnect();
    EXPECT_EQ(client_.currentDirectory(), "");
    EXPECT_TRUE(client_.isConnected());
}

TEST_F(FaultTest, Reply421AtAnyTimeEndsTheConnection) {
    server_.on("CWD", [](ScriptedSession& s, const std::string&) {
        s.reply("421 shutting down");
        s.close();
    });
    startAndConnect();
    EXPECT_FALSE(client_.setCurrentDirectory("/x"));
    EXPECT_FALSE(client_.isConnected());
    expectUsableAgain();
}

TEST_F(FaultTest, PreliminaryThenErrorOrSilenceFailsTheDownload) {
    local_.write("keep.txt", "precious");
    std::string mode;
    server_.on("RETR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        if (mode == "425")
            s.reply("425 cannot open data connection");
        else if (mode == "421")
            s.reply("421 going away");
        else
            s.waitForClientClose(3000);
    });
    ASSERT_TRUE(server_.start());
    for (const char* m : {"425", "421", "silence"}) {
        mode = m;
        ASSERT_TRUE(connect()) << m;
        auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(client_.getFile("f", local_.file("keep.txt"))) << m;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << m;
        EXPECT_EQ(local_.read("keep.txt"), "precious") << m;
        EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(local_.file("keep.txt")))) << m;
    }
    expectUsableAgain();
}

TEST_F(FaultTest, ActiveConnectionThatNeverArrivesFallsBackToPassive) {
    server_.setFile("f.bin", "payload");
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        bool passive = s.passive();
        s.reply("150 opening");
        if (!passive) {
            // Never connect back; answer once the client stopped listening.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            s.reply("425 cannot open data connection");
            return;
        }
        s.openData();
        s.sendData("payload");
        s.closeData();
        s.reply("226 done");
    });
    server_.setListing("-rw-r--r-- 1 0 0 7 Jan 01 2020 f.bin\r\n");
    startAndConnect();
    ASSERT_TRUE(client_.getFile("f.bin", local_.file("f.bin")));
    EXPECT_EQ(local_.read("f.bin"), "payload");
    EXPECT_TRUE(client_.isPassive());
    EXPECT_EQ(client_.listDirectory("*"), 1);
    EXPECT_EQ(countCommands("PORT"), 1);  // passive for the rest of the connection
}

TEST_F(FaultTest, RefusedPortSwitchesToPassive) {
    server_.on("PORT", [](ScriptedSession& s, const std::string&) { s.reply("500 no active mode here"); });
    server_.setFile("f", "data");
    local_.write("up.txt", "up");
    startAndConnect();
    ASSERT_TRUE(client_.getFile("f", local_.file("f")));
    EXPECT_EQ(local_.read("f"), "data");
    ASSERT_TRUE(client_.putFile(local_.file("up.txt"), "up.txt"));
    EXPECT_EQ(server_.upload("up.txt"), "up");
    EXPECT_EQ(countCommands("PORT"), 1);
    EXPECT_TRUE(client_.isPassive());
}

TEST_F(FaultTest, ServerClosingMidTransferKeepsTheOldLocalFile) {
    local_.write("target", "old");
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.openData();
        s.sendData(std::string(100000, 'z'));
        s.close();
    });
    startAndConnect();
    EXPECT_FALSE(client_.getFile("big", local_.file("target")));
    EXPECT_EQ(local_.read("target"), "old");
    EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(local_.file("target"))));
    EXPECT_FALSE(client_.isConnected());
    expectUsableAgain();
}

// Someone on another address connects to our active-mode port before the
// server does: that connection is closed, the server's is taken.
TEST_F(FaultTest, ActiveModeTakesTheDataConnectionOnlyFromTheServer) {
    local_.write("f", "old");
    bool intruded = false;
    server_.on("RETR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 opening (13 bytes)");
        intruded = s.intrudeOnActivePort("127.0.0.2", "forged data!!");
        s.openData();
        s.sendData("the real file");
        s.closeData();
        s.reply("226 done");
    });
    startAndConnect();
    ASSERT_TRUE(client_.getFile("f", local_.file("f")));
    ASSERT_TRUE(intruded);
    EXPECT_EQ(local_.read("f"), "the real file");
    EXPECT_FALSE(client_.isPassive());
}

// A transfer that ends with 226 but with more or fewer bytes than the
// server announced, or than the listing said, is a failure, and the old
// local file stays. SIZE is asked only when nothing else gave a size.
TEST_F(FaultTest, ShortOrLongDownloadsFailAndKeepTheOldFile) {
    server_.setFeatures({"SIZE"});
    std::string announce, body;
    server_.on("RETR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 opening" + announce);
        s.openData();
        s.sendData(body);
        s.closeData();
        s.reply("226 done");
    });
    server_.on("SIZE", [](ScriptedSession& s, const std::string&) { s.reply("213 10"); });
    startAndConnect();
    struct Case {
        const char* announce;
        std::string body;
        int64_t listed;
        bool whole;
    };
    const std::vector<Case> cases = {
        {" for f (10 bytes).", "12345", -1, false},     // half, then 226
        {" for f (10 bytes).", "123456789012", -1, false},
        {" for f (10 bytes).", "1234567890", 5, true},  // the server's own word wins
        {"", "12345", 10, false},                       // the listing's size
        {"", "1234567890", 10, true},
        {"", "12345", -1, false},                       // SIZE
        {"", "1234567890", -1, true},
    };
    for (const Case& c : cases) {
        announce = c.announce;
        body = c.body;
        local_.write("f", "old");
        EXPECT_EQ(client_.getFile("f", local_.file("f"), false, c.listed), c.whole) << c.announce << c.body;
        EXPECT_EQ(local_.read("f"), c.whole ? c.body : "old") << c.announce << c.body;
        EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(local_.file("f"))));
    }
    // Only the two cases without any other size asked.
    EXPECT_EQ(countCommands("SIZE"), 2);
}

TEST_F(FaultTest, SlowTransferThatKeepsMovingIsNotCut) {
    FtpTimeouts timeouts = kShortTimeouts;
    timeouts.listingMs = 300;  // a listing's deadline: no limit for a file
    client_.setTimeouts(timeouts);
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.openData();
        for (int i = 0; i < 8; ++i) {  // 8 x 120 ms, well over the 300 ms stall limit in total
            s.sendData("0123456789");
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
        }
        s.closeData();
        s.reply("226 done");
    });
    startAndConnect();
    ASSERT_TRUE(client_.getFile("slow", local_.file("slow")));
    EXPECT_EQ(local_.read("slow").size(), 80u);
}

TEST_F(FaultTest, StalledTransferIsCutAfterTheStallTime) {
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.openData();
        s.sendData("a little");
        s.waitForClientClose(3000);
    });
    startAndConnect();
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(client_.getFile("stall", local_.file("stall")));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_FALSE(std::filesystem::exists(local_.file("stall")));
    expectUsableAgain();
}

TEST_F(FaultTest, AbortFromAnotherThreadEndsABlockedTransferPromptly) {
    client_.setTimeouts(FtpTimeouts{});  // the long defaults: only abort() can end it
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.openData();
        s.sendData("partial");
        s.waitForClientClose(5000);
    });
    startAndConnect();
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        client_.abort();
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(client_.getFile("f", local_.file("f")));
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Aborted);
    EXPECT_FALSE(client_.isConnected());
    EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(local_.file("f"))));
    expectUsableAgain();
}

TEST_F(FaultTest, HostileListingNamesAreLeftOut) {
    server_.setListing(
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 ../x\r\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 a/b\r\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 esc\x1b[2Jname\r\n"
        "garbage line\r\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 fine.txt\r\n");
    startAndConnect();
    std::vector<std::string> names;
    ASSERT_EQ(client_.listDirectory("*", -1, &names), 1);
    EXPECT_EQ(names[0], "fine.txt");
}

TEST_F(FaultTest, NamesWithLineBreaksOrNulAreNeverSent) {
    startAndConnect();
    EXPECT_FALSE(client_.deleteFile("a\r\nDELE b"));
    EXPECT_FALSE(client_.renameFile("ok", "x\nRMD y"));
    EXPECT_FALSE(client_.makeDirectory(std::string("n\0ul", 4)));
    EXPECT_EQ(client_.listDirectory("x\r\nQUIT"), 0);
    EXPECT_FALSE(server_.received("DELE"));
    EXPECT_FALSE(server_.received("RNFR"));
    EXPECT_FALSE(server_.received("RMD"));
    EXPECT_TRUE(client_.isConnected());
}

// A server that reads the control connection as Telnet drops IAC (0xFF)
// and the byte after it. Every command carrying text doubles it, so such a
// server reads each name, and the login, byte for byte: "a\xFF\xF4b.txt"
// would otherwise reach it as "ab.txt".
TEST_F(FaultTest, TheByteIacReachesATelnetReadingServerInEveryCommand) {
    const std::string name = "/a\xff\xf4" "b.txt";
    server_.setTelnetControl(true);
    server_.setFile(name, "the right file");
    server_.setFile("/ab.txt", "another file");
    server_.on("SIZE", [](ScriptedSession& s, const std::string& path) {
        s.reply(path == "/a\xff\xf4" "b.txt" ? "213 14" : "550 no such file");
    });
    server_.on("LIST", [](ScriptedSession& s, const std::string& path) {
        s.serveData(path == "/d\xff" ? "-rw-r--r-- 1 0 0 1 Jan 01 2020 in\xff.txt\r\n" : "");
    });
    ASSERT_TRUE(server_.start());
    ASSERT_TRUE(client_.connect("127.0.0.1", "user\xff", "pass\xff\xfb" "1", server_.port()));
    local_.write("up.txt", "up");

    ASSERT_TRUE(client_.getFile(name, local_.file("down.txt")));
    EXPECT_EQ(local_.read("down.txt"), "the right file");
    ASSERT_TRUE(client_.putFile(local_.file("up.txt"), "/up\xff.txt"));
    EXPECT_EQ(server_.upload("/up\xff.txt"), "up");
    EXPECT_TRUE(client_.deleteFile(name));
    EXPECT_TRUE(client_.makeDirectory("/d\xff"));
    EXPECT_TRUE(client_.setCurrentDirectory("/d\xff"));
    const DirectoryListing listing = client_.listEntries("/d\xff");
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_TRUE(client_.renameFile("/d\xff/in\xff.txt", "/d\xff/out\xff.txt"));
    EXPECT_TRUE(client_.removeDirectory("/d\xff"));

    const std::vector<std::string> commands = server_.commands();
    const std::vector<std::string> expected = {
        "USER user\xff", "PASS pass\xff\xfb" "1", "RETR " + name, "SIZE " + name, "STOR /up\xff.txt",
        "DELE " + name, "MKD /d\xff", "CWD /d\xff", "LIST /d\xff", "RNFR /d\xff/in\xff.txt",
        "RNTO /d\xff/out\xff.txt", "RMD /d\xff"};
    for (const std::string& line : expected)
        EXPECT_NE(std::find(commands.begin(), commands.end(), line), commands.end()) << line;
    for (const std::string& line : commands)
        EXPECT_EQ(line.find("ab.txt"), std::string::npos) << line;
}

// Passive mode connects only to the control connection's peer, and never
// to a port below 1024 (SMTP, SSH): an EPSV or PASV naming one is refused
// like a foreign address, and the transfer goes on in active mode.
TEST_F(FaultTest, APassiveReplyNamingALowPortIsRefusedAndActiveModeUsed) {
    server_.on("EPSV", [](ScriptedSession& s, const std::string&) {
        s.reply("229 Entering Extended Passive Mode (|||25|)");
    });
    server_.on("PASV", [](ScriptedSession& s, const std::string&) {
        s.reply("227 Entering Passive Mode (10,9,8,7,0,22)");
    });
    server_.setFile("f", "by active mode");
    ASSERT_TRUE(server_.start());
    ASSERT_TRUE(client_.connect("127.0.0.1", "user", "pw", server_.port(), true));
    ASSERT_TRUE(client_.isPassive());
    ASSERT_TRUE(client_.getFile("f", local_.file("f")));
    EXPECT_EQ(local_.read("f"), "by active mode");
    EXPECT_FALSE(client_.isPassive());
    const std::vector<std::string> commands = server_.commands();
    const auto epsv = std::find(commands.begin(), commands.end(), "EPSV");
    const auto pasv = std::find(commands.begin(), commands.end(), "PASV");
    ASSERT_NE(epsv, commands.end());
    ASSERT_NE(pasv, commands.end());
    EXPECT_LT(epsv, pasv);
    EXPECT_EQ(countCommands("PORT"), 1);
}

// With PORT refused as well, nothing is left: the transfer fails, and no
// connection is made to the low port (as root a listener there tells).
TEST_F(FaultTest, ALowPassivePortWithActiveModeRefusedFails) {
    int lowPort = 0;
    const int listener = testsupport::listenOnLowPort(lowPort);
    if (listener < 0)
        lowPort = 25;  // nothing listens there: the check below cannot look
    else
        ::fcntl(listener, F_SETFL, O_NONBLOCK);
    testsupport::aimPassiveRepliesAt(server_, lowPort);
    server_.setFile("f", "data");
    startAndConnect();
    local_.write("up.txt", "secret bytes");
    EXPECT_FALSE(client_.getFile("f", local_.file("f")));
    EXPECT_FALSE(client_.putFile(local_.file("up.txt"), "up.txt"));
    EXPECT_FALSE(server_.received("RETR"));
    EXPECT_FALSE(server_.received("STOR"));
    if (listener >= 0) {
        EXPECT_LT(::accept(listener, nullptr, nullptr), 0);  // nobody came
        ::close(listener);
    }
}

// Without a size from the server's reply or the caller, SIZE is asked once
// after the transfer, also when FEAT does not list it (old servers answer
// it all the same); a short file then fails. With a size known it is not
// asked.
TEST_F(FaultTest, SizeIsAskedWhenNothingElseGivesOneWhateverFeatLists) {
    server_.setFeatures({"MDTM", "UTF8"});
    std::string announce;
    server_.on("RETR", [&](ScriptedSession& s, const std::string&) {
        s.reply("150 opening" + announce);
        s.openData();
        s.sendData("12345");
        s.closeData();
        s.reply("226 done");
    });
    server_.on("SIZE", [](ScriptedSession& s, const std::string&) { s.reply("213 10"); });
    startAndConnect();
    local_.write("f", "old");
    EXPECT_FALSE(client_.getFile("f", local_.file("f")));
    EXPECT_EQ(local_.read("f"), "old");
    EXPECT_EQ(countCommands("SIZE"), 1);
    announce = " for f (5 bytes)";
    EXPECT_TRUE(client_.getFile("f", local_.file("f")));
    EXPECT_EQ(local_.read("f"), "12345");
    announce.clear();
    EXPECT_TRUE(client_.getFile("f", local_.file("f"), false, 5));
    EXPECT_EQ(countCommands("SIZE"), 1);
}

TEST_F(FaultTest, GbkServerGetsNewNamesInGbkAndOldNamesInTheirBytes) {
    std::string gbk = platform::utf8ToGb18030("报告.txt");
    server_.setListing("-rw-r--r-- 1 0 0 4 Jan 01 2020 " + gbk + "\r\n");
    server_.setFile(gbk, "data");
    startAndConnect();
    std::vector<std::string> names;
    ASSERT_EQ(client_.listDirectory("*", -1, &names), 1);
    EXPECT_EQ(names[0], "报告.txt");
    ASSERT_TRUE(client_.getFile("报告.txt", local_.file("r.txt")));
    EXPECT_EQ(local_.read("r.txt"), "data");
    ASSERT_TRUE(client_.makeDirectory("新建"));
    EXPECT_TRUE(server_.received("MKD"));
    std::vector<std::string> commands = server_.commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "MKD " + platform::utf8ToGb18030("新建")), commands.end());
}

} // namespace

namespace {

TEST_F(FaultTest, LoginThatAsksForAnAccountFails) {
    server_.on("PASS", [](ScriptedSession& s, const std::string&) { s.reply("332 need account"); });
    ASSERT_TRUE(server_.start());
    EXPECT_FALSE(connect());
    EXPECT_FALSE(server_.received("ACCT"));
}

TEST_F(FaultTest, ReconnectSaysGoodbyeToTheOldServerFirst) {
    startAndConnect();
    ScriptedFtpServer other;
    other.on("PASS", [](ScriptedSession& s, const std::string&) { s.reply("530 wrong password"); });
    ASSERT_TRUE(other.start());
    EXPECT_FALSE(client_.connect("127.0.0.1", "u", "p", other.port()));
    EXPECT_FALSE(client_.isConnected());
    EXPECT_TRUE(server_.received("QUIT"));
}

// Replies as some servers write them: quotes in a path not doubled, and a
// folder stored under another name than the one asked for.
TEST_F(FaultTest, PathRepliesAreReadAsTheServerWroteThem) {
    server_.on("PWD", [](ScriptedSession& s, const std::string&) {
        s.reply("257 \"/q\" b\" is your current location");
    });
    server_.on("MKD", [](ScriptedSession& s, const std::string& path) {
        if (path == "/pub/trail ")
            s.reply("257 \"/pub/trail_\" created");
        else if (path == "/pub/q\"t")
            s.reply("257 \"/pub/q\"t\" created");
        else
            s.reply("257 Directory created.");
    });
    startAndConnect();
    // Nothing asked for: the longest reading.
    EXPECT_EQ(client_.currentDirectory(), "/q\" b");
    // After entering "/q", that is the reading.
    ASSERT_TRUE(client_.setCurrentDirectory("/q"));
    EXPECT_EQ(client_.currentDirectory(), "/q");
    ASSERT_TRUE(client_.setCurrentDirectory("relative"));
    EXPECT_EQ(client_.currentDirectory(), "/q\" b");

    std::string created;
    ASSERT_TRUE(client_.makeDirectory("/pub/trail ", created));
    EXPECT_EQ(created, "trail_");
    ASSERT_TRUE(client_.makeDirectory("/pub/q\"t", created));
    EXPECT_EQ(created, "q\"t");
    ASSERT_TRUE(client_.makeDirectory("/pub/plain", created));
    EXPECT_EQ(created, "plain");
    EXPECT_TRUE(client_.makeDirectory("/pub/trail "));
}

} // namespace

// Deadlines a server cannot stretch, and listings bounded in entries.
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Sends the line every intervalMs until the client has gone or forMs passed.
void keepSending(ScriptedSession& s, const std::string& line, int intervalMs, int forMs) {
    auto until = Clock::now() + std::chrono::milliseconds(forMs);
    while (Clock::now() < until && s.send(line))
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
}

TEST_F(FaultTest, EndlessPreliminaryRepliesEndAtTheReplyTimeout) {
    server_.on("CWD", [](ScriptedSession& s, const std::string&) { keepSending(s, "150 still thinking\r\n", 50, 5000); });
    startAndConnect();
    auto started = Clock::now();
    EXPECT_FALSE(client_.setCurrentDirectory("/slow"));
    EXPECT_LT(secondsSince(started), 2.0);  // the reply time-out is 0.4 s
    expectUsableAgain();
}

TEST_F(FaultTest, PreliminaryRepliesInsteadOfTheEndOfAListingEndAtTheReplyTimeout) {
    server_.on("LIST", [](ScriptedSession& s, const std::string&) {
        s.reply("150 here it comes");
        s.openData();
        s.sendData("-rw-r--r-- 1 0 0 1 Jan 01 2020 a.txt\r\n");
        s.closeData();
        keepSending(s, "150 keep-alive\r\n", 50, 5000);
    });
    startAndConnect();
    auto started = Clock::now();
    DirectoryListing listing = client_.listEntries("/");
    EXPECT_FALSE(listing.complete);
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_LT(secondsSince(started), 2.0);
    expectUsableAgain();
}

TEST_F(FaultTest, ControlRepliesDuringAStalledTransferDoNotRestartTheStallTime) {
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.openData();
        s.sendData("a little");
        keepSending(s, "150 keep-alive\r\n", 50, 5000);
    });
    startAndConnect();
    auto started = Clock::now();
    EXPECT_FALSE(client_.getFile("stall", local_.file("stall")));
    EXPECT_LT(secondsSince(started), 2.0);  // the stall time is 0.3 s
    EXPECT_FALSE(std::filesystem::exists(local_.file("stall")));
}

TEST_F(FaultTest, TricklingListingEndsAtItsDeadlineAndKeepsTheConnection) {
    FtpTimeouts timeouts = kShortTimeouts;
    timeouts.listingMs = 1000;
    client_.setTimeouts(timeouts);
    server_.on("LIST", [](ScriptedSession& s, const std::string&) { trickleListing(s, 100, 8000); });
    server_.on("PWD", [](ScriptedSession& s, const std::string&) { s.reply("257 \"/still\""); });
    startAndConnect();
    auto started = Clock::now();
    DirectoryListing listing = client_.listEntries("/");
    const double took = secondsSince(started);
    EXPECT_FALSE(listing.complete);
    EXPECT_FALSE(listing.overLimit);
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_GE(took, 0.9);  // each line came well within the stall time
    EXPECT_LT(took, 3.0);
    // The server answered the cut transfer: the same connection goes on.
    EXPECT_TRUE(client_.isConnected());
    EXPECT_EQ(client_.currentDirectory(), "/still");
    EXPECT_EQ(server_.connections(), 1);
}

TEST_F(FaultTest, AbortingTheRunningListingEndsItAndAnIdleConnectionStays) {
    client_.setTimeouts(FtpTimeouts{});  // the long defaults: only the abort can end it
    server_.on("LIST", [](ScriptedSession& s, const std::string&) { trickleListing(s, 100, 8000); });
    startAndConnect();
    client_.abortRunningOperation();  // nothing runs: nothing happens
    EXPECT_TRUE(client_.isConnected());
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        client_.abortRunningOperation();
    });
    auto started = Clock::now();
    EXPECT_FALSE(client_.listEntries("/").complete);
    aborter.join();
    EXPECT_LT(secondsSince(started), 1.3);
    EXPECT_FALSE(client_.isConnected());
    expectUsableAgain();
}

TEST_F(FaultTest, ListingsBeyondTheEntryCapAreReportedAndTheConnectionStays) {
    client_.setTimeouts(FtpTimeouts{});  // a million lines take a while in the slower builds
    const std::string atCapLines = mlsdLines(ftp::kMaxListingEntries);
    const std::string overCapLines = atCapLines + "type=file; one more\r\n";
    server_.setFeatures({"MLST type*;"});
    server_.on("MLSD", [&](ScriptedSession& s, const std::string& argument) {
        if (argument == "/at-cap")
            s.serveData(atCapLines);
        else if (argument == "/over-cap")
            s.serveData(overCapLines);
        else
            s.serveData("type=file; small\r\n");
    });
    startAndConnect();
    DirectoryListing atCap = client_.listEntries("/at-cap");
    EXPECT_TRUE(atCap.complete);
    EXPECT_EQ(atCap.entries.size(), ftp::kMaxListingEntries);
    atCap = {};

    DirectoryListing over = client_.listEntries("/over-cap");
    EXPECT_FALSE(over.complete);
    EXPECT_TRUE(over.overLimit);
    EXPECT_TRUE(over.entries.empty());
    DirectoryListing next = client_.listEntries("/");
    EXPECT_TRUE(next.complete);
    EXPECT_EQ(next.entries.size(), 1u);
    EXPECT_EQ(server_.connections(), 1);
}

TEST_F(FaultTest, ANeverEndingListingIsCutWhileItArrives) {
    server_.setFeatures({"MLST type*;"});
    server_.on("MLSD", [](ScriptedSession& s, const std::string&) { endlessListing(s); });
    startAndConnect();
    DirectoryListing listing = client_.listEntries("/");
    EXPECT_FALSE(listing.complete);
    EXPECT_TRUE(listing.overLimit);
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_TRUE(client_.isConnected());
    EXPECT_EQ(client_.currentDirectory(), "/");
}

} // namespace
