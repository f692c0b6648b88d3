// A transfer whose completion reply comes before its data connection is
// accepted. Under load the server's connect can finish on its side, the data
// and the "226" be sent, and our side still not have the connection queued.
#include "ftp/FtpClient.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace testsupport;

namespace {

void replyThenConnect(ScriptedSession& s, const std::string& bytes) {
    s.reply("150 opening");
    s.reply("226 done");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    s.openData();
    s.sendData(bytes);
    s.closeData();
}

} // namespace

TEST(LateDataConnection, ADownloadIsNotTakenAsEmpty) {
    ScriptedFtpServer server;
    server.on("RETR", [](ScriptedSession& s, const std::string&) { replyThenConnect(s, "all of the bytes"); });
    ASSERT_TRUE(server.start());
    FtpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", "u", "p", server.port()));
    TempFolder local;
    ASSERT_TRUE(client.getFile("/late.txt", local.file("late.txt")));
    EXPECT_EQ(local.read("late.txt"), "all of the bytes");
}

TEST(LateDataConnection, AListingIsNotTakenAsEmpty) {
    ScriptedFtpServer server;
    server.on("LIST", [](ScriptedSession& s, const std::string&) {
        replyThenConnect(s, "-rw-r--r-- 1 u g 5 Jan 01 2024 late.txt\r\n");
    });
    ASSERT_TRUE(server.start());
    FtpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", "u", "p", server.port()));
    std::vector<std::string> names;
    EXPECT_EQ(client.listDirectory("/*", -1, &names), 1);
    EXPECT_EQ(names, std::vector<std::string>{"late.txt"});
}
