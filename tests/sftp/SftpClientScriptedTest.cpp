// SftpClient against a scripted SFTP server (asyncssh): password and
// keyboard-interactive logins, and servers that misbehave. Every fault must
// end in a clean failure within the (shortened) time-outs, keep the local
// file as it was, and leave a client that can connect again.
#include "sftp/SftpClient.h"

#include "platform/TextCodec.h"
#include "tests/support/FtpServers.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/SshServers.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

using testsupport::ScriptedSftpServer;
using testsupport::SshKeyPair;
using testsupport::TempFolder;
using testsupport::fileHash;
using testsupport::kSftpPassword;
using testsupport::kSftpUser;
using testsupport::knownHostsLine;
using testsupport::writeFileBytes;
using testsupport::writePatternFile;
using Login = ScriptedSftpServer::Login;

namespace {

const FtpTimeouts kShortTimeouts{5000, 5000, 1000, 60000, 10000};
constexpr int kStallMs = 600;

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The names in the folder, partial files included.
std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SftpScriptedTest : public testing::Test {
protected:
    void SetUp() override {
        client_.setTimeouts(kShortTimeouts);
        client_.setKnownHostsFile(settings_.file("known_hosts"));
        client_.setTrustedKnownHostsFile("");
        client_.setHostKeyCheck([this](const std::string&, int, const sftp::HostKey& key) {
            asked_.push_back(key);
            return true;
        });
    }

    bool connect(const std::string& password = kSftpPassword) {
        return client_.connect("127.0.0.1", kSftpUser, password, server_.port());
    }
    void startAndConnect(const std::string& fault = "none") {
        ASSERT_TRUE(server_.start(root_.path(), Login::Password, fault));
        ASSERT_TRUE(connect());
    }
    std::string remote(const std::string& name) const { return "/" + name; }

    TempFolder root_;
    TempFolder local_;
    TempFolder settings_;
    ScriptedSftpServer server_;
    SftpClient client_;
    std::vector<sftp::HostKey> asked_;
};

TEST_F(SftpScriptedTest, PasswordAndKeyboardInteractiveLogins) {
    root_.write("hello.txt", "hello");
    for (Login login : {Login::Password, Login::KeyboardInteractive}) {
        ASSERT_TRUE(server_.start(root_.path(), login));
        EXPECT_FALSE(connect("wrong")) << static_cast<int>(login);
        EXPECT_FALSE(client_.isConnected());
        ASSERT_TRUE(connect()) << static_cast<int>(login);
        EXPECT_EQ(client_.currentDirectory(), "/");
        ASSERT_TRUE(client_.getFile("hello.txt", local_.file("hello.txt")));
        EXPECT_EQ(local_.read("hello.txt"), "hello");
        client_.disconnect();
    }
}

TEST_F(SftpScriptedTest, NoPasswordGoesOutBeforeTheKeyIsTrusted) {
    ASSERT_TRUE(server_.start(root_.path(), Login::Both));
    // A changed key: never used, whatever the check says.
    SshKeyPair other;
    ASSERT_TRUE(other.make(settings_.file("other_key")));
    writeFileBytes(settings_.file("known_hosts"), knownHostsLine(other, server_.port()));
    EXPECT_FALSE(connect());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_TRUE(asked_[0].changed);
    EXPECT_EQ(asked_[0].fingerprint, server_.hostKey().fingerprint());
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Changed);

    // A new key the user turns down.
    std::filesystem::remove(settings_.file("known_hosts"));
    client_.setHostKeyCheck([](const std::string&, int, const sftp::HostKey&) { return false; });
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Rejected);
    // Without any check.
    client_.setHostKeyCheck(nullptr);
    EXPECT_FALSE(connect());
    EXPECT_EQ(countOf(server_.log(), "login attempt"), 0) << server_.log();

    // Accepted: the password goes out once.
    client_.setHostKeyCheck([](const std::string&, int, const sftp::HostKey&) { return true; });
    ASSERT_TRUE(connect());
    EXPECT_EQ(countOf(server_.log(), "login attempt"), 1) << server_.log();
}

TEST_F(SftpScriptedTest, ClientIsFreeWhileTheHostKeyQuestionIsOpen) {
    ASSERT_TRUE(server_.start(root_.path()));
    // The user takes a while, and meanwhile the window disconnects.
    client_.setHostKeyCheck([this](const std::string&, int, const sftp::HostKey&) {
        std::thread other([this] { client_.disconnect(); });
        other.join();
        return true;
    });
    EXPECT_FALSE(connect());
    EXPECT_FALSE(client_.isConnected());
    EXPECT_FALSE(std::filesystem::exists(settings_.file("known_hosts")));
    EXPECT_EQ(countOf(server_.log(), "login attempt"), 0);
}

TEST_F(SftpScriptedTest, ConnectionDroppedMidFileKeepsTheOldFile) {
    ASSERT_TRUE(writePatternFile(root_.file("big.bin"), 3 * 1024 * 1024));
    startAndConnect("drop:1000000");
    local_.write("big.bin", "old contents");
    EXPECT_FALSE(client_.getFile("big.bin", local_.file("big.bin")));
    EXPECT_EQ(local_.read("big.bin"), "old contents");
    EXPECT_EQ(folderNames(local_.path()), std::vector<std::string>{"big.bin"});
    EXPECT_FALSE(client_.isConnected());
    EXPECT_TRUE(connect());
}

TEST_F(SftpScriptedTest, FileOfAnotherSizeThanTheServerStatesFails) {
    ASSERT_TRUE(writePatternFile(root_.file("file.bin"), 100000));
    local_.write("file.bin", "old contents");
    for (const char* fault : {"short:1000", "short:-1000"}) {
        ASSERT_TRUE(server_.start(root_.path(), Login::Password, fault));
        ASSERT_TRUE(connect());
        EXPECT_FALSE(client_.getFile("file.bin", local_.file("file.bin"))) << fault;
        EXPECT_EQ(local_.read("file.bin"), "old contents");
        EXPECT_EQ(folderNames(local_.path()), std::vector<std::string>{"file.bin"});
        // The connection is still good for what comes next.
        EXPECT_TRUE(client_.isConnected());
        EXPECT_TRUE(client_.listEntries("/").complete);
    }
}

// Files that fit in one read go by the listing's size; the server's word on
// the size, a stall and a dropped connection end them as for large files.
TEST_F(SftpScriptedTest, SmallFilesByTheListingsSizeAreStillCheckedAndBounded) {
    // asyncssh states no limits: reads of 32 KiB, the sizes on either side.
    for (int64_t size : {0, 32 * 1024, 32 * 1024 + 1})
        ASSERT_TRUE(writePatternFile(root_.file(std::to_string(size) + ".bin"), size, 5));
    startAndConnect();
    for (int64_t size : {0, 32 * 1024, 32 * 1024 + 1}) {
        const std::string name = std::to_string(size) + ".bin";
        ASSERT_TRUE(client_.getFile(name, local_.file(name), false, size)) << name;
        EXPECT_EQ(fileHash(local_.file(name)), fileHash(root_.file(name))) << name;
        std::filesystem::remove(local_.file(name));
    }

    root_.write("small.bin", std::string(5000, 's'));
    local_.write("small.bin", "old contents");
    // The size stated for the open file is more, or less, than there is;
    // the listing has the real size, or the one stated.
    for (int64_t wrongBy : {1000, -1000}) {
        ASSERT_TRUE(server_.start(root_.path(), Login::Password, "short:" + std::to_string(wrongBy)));
        ASSERT_TRUE(connect());
        for (int64_t expected : {int64_t{5000}, 5000 + wrongBy}) {
            EXPECT_FALSE(client_.getFile("small.bin", local_.file("small.bin"), false, expected))
                << wrongBy << " " << expected;
            EXPECT_EQ(local_.read("small.bin"), "old contents");
            EXPECT_EQ(folderNames(local_.path()), std::vector<std::string>{"small.bin"});
        }
        EXPECT_TRUE(client_.isConnected());
        EXPECT_TRUE(client_.listEntries("/").complete);
    }

    // A read never answered ends by the stall time-out.
    ASSERT_TRUE(server_.start(root_.path(), Login::Password, "stall"));
    ASSERT_TRUE(connect());
    FtpTimeouts timeouts = kShortTimeouts;
    timeouts.stallMs = kStallMs;
    client_.setTimeouts(timeouts);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client_.getFile("small.bin", local_.file("small.bin"), false, 5000));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kStallMs - 50));
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
    EXPECT_FALSE(client_.isConnected());

    // The connection dropped at the first read.
    client_.setTimeouts(kShortTimeouts);
    ASSERT_TRUE(server_.start(root_.path(), Login::Password, "drop:0"));
    ASSERT_TRUE(connect());
    EXPECT_FALSE(client_.getFile("small.bin", local_.file("small.bin"), false, 5000));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(local_.read("small.bin"), "old contents");
    EXPECT_EQ(folderNames(local_.path()), std::vector<std::string>{"small.bin"});
    EXPECT_TRUE(connect());
}

TEST_F(SftpScriptedTest, RenameNeverReplacesOnAServerThatWould) {
    root_.write("a.txt", "a");
    root_.write("b.txt", "b");
    std::filesystem::create_symlink("nowhere", root_.file("dangling"));
    startAndConnect("replace");
    EXPECT_FALSE(client_.renameFile("/a.txt", "/b.txt"));
    EXPECT_FALSE(client_.renameFile("/a.txt", "/dangling"));
    EXPECT_EQ(root_.read("a.txt"), "a");
    EXPECT_EQ(root_.read("b.txt"), "b");
    EXPECT_TRUE(client_.renameFile("/a.txt", "/c.txt"));
    EXPECT_EQ(root_.read("c.txt"), "a");
}

TEST_F(SftpScriptedTest, StallEndsByTheStallTimeOutOrAtOnceByAbort) {
    root_.write("stuck.bin", std::string(100000, 'x'));
    startAndConnect("stall");
    FtpTimeouts timeouts = kShortTimeouts;
    timeouts.stallMs = kStallMs;
    client_.setTimeouts(timeouts);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client_.getFile("stuck.bin", local_.file("stuck.bin")));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kStallMs - 50));
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_FALSE(client_.isConnected());
    EXPECT_FALSE(std::filesystem::exists(local_.file("stuck.bin")));
    // The same for an upload whose writes are never answered.
    ASSERT_TRUE(connect());
    local_.write("up.bin", std::string(300000, 'u'));
    const auto upStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(client_.putFile(local_.file("up.bin"), "up.bin"));
    EXPECT_LT(std::chrono::steady_clock::now() - upStart, std::chrono::seconds(20));
    EXPECT_FALSE(client_.isConnected());

    // With the default stall time-out, abort ends the wait.
    client_.setTimeouts(kShortTimeouts);
    ASSERT_TRUE(connect());
    const std::string target = local_.file("stuck-again.bin");
    auto download = std::async(std::launch::async, [&] { return client_.getFile("stuck.bin", target); });
    // The download runs once its partial file is there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (client_.partialPathFor(target).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto aborted = std::chrono::steady_clock::now();
    client_.abortRunningOperation();
    ASSERT_EQ(download.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::seconds(10));
    EXPECT_FALSE(download.get());
    EXPECT_FALSE(client_.isConnected());
    EXPECT_TRUE(connect());
}

TEST_F(SftpScriptedTest, NamesInOtherEncodingsGoBackInTheirOwnBytes) {
    const std::string gbk = "\xd6\xd0\xce\xc4.txt";  // "中文.txt" in GBK
    const std::string broken = "bad\xff.txt";
    const std::string utf8 = "中文.txt";
    root_.write(gbk, "gbk");
    root_.write(broken, "broken");
    root_.write(utf8, "utf8");
    startAndConnect();

    const DirectoryListing listing = client_.listEntries("/");
    ASSERT_TRUE(listing.complete);
    ASSERT_EQ(listing.entries.size(), 3u);
    std::map<std::string, std::string> localNames;
    for (const RemoteEntry& entry : listing.entries) {
        EXPECT_TRUE(platform::isValidUtf8(entry.name)) << entry.name;
        localNames[entry.name] = entry.localName;
    }
    const std::string gbkShown = platform::escapeInvalidUtf8(gbk);
    const std::string brokenShown = platform::escapeInvalidUtf8(broken);
    EXPECT_EQ(gbkShown, "\\xD6\\xD0\\xCE\\xC4.txt");
    ASSERT_EQ(localNames.count(gbkShown), 1u);
    ASSERT_EQ(localNames.count(brokenShown), 1u);
    ASSERT_EQ(localNames.count(utf8), 1u);
    EXPECT_EQ(localNames[gbkShown], gbk);
    EXPECT_EQ(localNames[utf8], utf8);

    ASSERT_TRUE(client_.getFile("/" + gbkShown, local_.file(localNames[gbkShown])));
    EXPECT_EQ(local_.read(gbk), "gbk");
    ASSERT_TRUE(client_.getFile("/" + brokenShown, local_.file("broken.txt")));
    EXPECT_EQ(local_.read("broken.txt"), "broken");
    EXPECT_TRUE(client_.deleteFile("/" + gbkShown));
    EXPECT_FALSE(std::filesystem::exists(root_.file(gbk)));
    EXPECT_TRUE(std::filesystem::exists(root_.file(broken)));

    // A local name of other bytes goes up in those bytes.
    local_.write("up\xfe.txt", "up");
    ASSERT_TRUE(client_.putFile(local_.file("up\xfe.txt"), "/up\xfe.txt"));
    EXPECT_EQ(root_.read("up\xfe.txt"), "up");
}

TEST_F(SftpScriptedTest, LinkLoopIsListedAsLinks) {
    std::filesystem::create_symlink("loop2", root_.file("loop1"));
    std::filesystem::create_symlink("loop1", root_.file("loop2"));
    std::filesystem::create_symlink("self", root_.file("self"));
    root_.makeFolder("real");
    startAndConnect();
    for (bool confirm : {false, true}) {
        const DirectoryListing listing = client_.listEntries("/", confirm);
        ASSERT_TRUE(listing.complete);
        ASSERT_EQ(listing.entries.size(), 4u);
        for (const RemoteEntry& entry : listing.entries) {
            if (entry.name == "real") {
                EXPECT_TRUE(entry.isDirectory());
                EXPECT_FALSE(entry.isLink());
            } else {
                EXPECT_TRUE(entry.isLink()) << entry.name;
                EXPECT_FALSE(entry.isDirectory()) << entry.name;
            }
        }
    }
    EXPECT_FALSE(client_.setCurrentDirectory("/loop1"));
    EXPECT_FALSE(client_.getFile("/self", local_.file("self")));
    EXPECT_TRUE(client_.isConnected());
}

TEST_F(SftpScriptedTest, FilesGoUpAndComeBackThroughSmallReplies) {
    // asyncssh states no limits: reads and writes of 32 KiB, many in flight.
    constexpr int64_t kSize = 2 * 1024 * 1024 + 77;
    ASSERT_TRUE(writePatternFile(local_.file("up.bin"), kSize, 3));
    startAndConnect();
    ASSERT_TRUE(client_.putFile(local_.file("up.bin"), "up.bin"));
    EXPECT_EQ(fileHash(root_.file("up.bin")), fileHash(local_.file("up.bin")));
    ASSERT_TRUE(client_.getFile("up.bin", local_.file("down.bin"), false, kSize));
    EXPECT_EQ(fileHash(local_.file("down.bin")), fileHash(local_.file("up.bin")));
}

TEST_F(SftpScriptedTest, ServerThatIsNotSshFailsPromptly) {
    testsupport::PyFtpdServer ftp;
    ASSERT_TRUE(ftp.start(root_.path()));
    // It waits for an SSH banner that never comes; the connect time-out
    // ends the wait.
    FtpTimeouts timeouts = kShortTimeouts;
    timeouts.connectMs = 1000;
    client_.setTimeouts(timeouts);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client_.connect("127.0.0.1", "tester", "secret", ftp.port()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(client_.security().failure, SecurityFailure::HandshakeFailed);
    EXPECT_FALSE(client_.isConnected());
}

int openDescriptors() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

TEST_F(SftpScriptedTest, ConnectionsLeaveNoDescriptorOpen) {
    startAndConnect();
    client_.disconnect();
    const int before = openDescriptors();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(connect());
        client_.disconnect();
        EXPECT_FALSE(connect("wrong"));
        ASSERT_TRUE(connect());
        client_.abort();
        EXPECT_FALSE(client_.listEntries("/").complete);
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(SftpOffline, EveryOperationFailsWithoutAConnection) {
    TempFolder local;
    local.write("up.txt", "x");
    SftpClient client;
    EXPECT_FALSE(client.isConnected());
    EXPECT_FALSE(client.getFile("a", local.file("a")));
    EXPECT_FALSE(std::filesystem::exists(local.file("a")));
    EXPECT_FALSE(client.putFile(local.file("up.txt"), "up.txt"));
    EXPECT_FALSE(client.deleteFile("a"));
    EXPECT_FALSE(client.renameFile("a", "b"));
    EXPECT_FALSE(client.makeDirectory("d"));
    EXPECT_FALSE(client.removeDirectory("d"));
    EXPECT_FALSE(client.setCurrentDirectory("d"));
    EXPECT_EQ(client.currentDirectory(), "");
    EXPECT_FALSE(client.listEntries("").complete);
    EXPECT_EQ(client.listDirectory("*"), 0);
    EXPECT_FALSE(client.connect("", "u", "p"));
    EXPECT_FALSE(client.connect("user@127.0.0.1", "u", "p"));
    client.abort();
    client.abortRunningOperation();
    client.disconnect();
}

} // namespace
