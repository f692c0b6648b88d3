// SftpClient after the network let it down, against the scripted SFTP
// server (asyncssh): why an operation failed, continuing a download from
// our own partial file and an upload from what the server kept, making the
// connection again, and noticing one that the server closed.
#include "sftp/SftpClient.h"

#include "ftp/PartialFile.h"
#include "ftp/ResumeRecords.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/SshServers.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using testsupport::OpensshServer;
using testsupport::ScriptedSftpServer;
using testsupport::TempFolder;
using testsupport::fileHash;
using testsupport::kSftpPassword;
using testsupport::kSftpUser;
using testsupport::patternBytes;
using testsupport::waitFor;
using testsupport::writePatternFile;

namespace {

const FtpTimeouts kShortTimeouts{5000, 5000, 1000, 60000, 10000};
constexpr int64_t kBigSize = 3 * 1024 * 1024 + 321;
constexpr int64_t kCutAt = 1500000;

ino_t inodeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

void setModificationTime(const std::string& path, time_t seconds) {
    const timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

class SftpRecoveryTest : public testing::Test {
protected:
    void SetUp() override {
        client_.setTimeouts(kShortTimeouts);
        client_.setKnownHostsFile(settings_.file("known_hosts"));
        client_.setTrustedKnownHostsFile("");
        client_.setResumeFolder(settings_.path());
        client_.setHostKeyCheck([this](const std::string&, int, const sftp::HostKey&) {
            ++questions_;
            return true;
        });
        ASSERT_TRUE(writePatternFile(root_.file("big.bin"), kBigSize));
        target_ = local_.file("big.bin");
    }

    bool connect() { return client_.connect("127.0.0.1", kSftpUser, kSftpPassword, server_.port()); }
    void startAndConnect(const std::string& fault = "none") {
        ASSERT_TRUE(server_.start(root_.path(), ScriptedSftpServer::Login::Password, fault));
        ASSERT_TRUE(connect());
    }

    // The offsets of the server's log lines "VERB from N", in order.
    std::vector<int64_t> offsets(const std::string& verb) const {
        std::vector<int64_t> found;
        std::istringstream lines(server_.log());
        const std::string prefix = verb + " from ";
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(prefix, 0) == 0)
                found.push_back(std::stoll(line.substr(prefix.size())));
        return found;
    }
    int countLog(const std::string& start) const {
        int n = 0;
        std::istringstream lines(server_.log());
        for (std::string line; std::getline(lines, line);)
            n += line.rfind(start, 0) == 0;
        return n;
    }
    std::vector<ftp::ResumeRecord> records() const { return ftp::ResumeRecords(settings_.path()).all(); }
    // Any partial file of big.bin left beside it.
    bool partialsLeft(const std::string& except = "") const {
        for (const auto& entry : std::filesystem::directory_iterator(local_.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("big.bin.", 0) == 0 && name != except)
                return true;
        }
        return false;
    }

    // A download that the server cuts mid-file (fault "cut"), leaving our
    // partial file behind; the client is connected again afterwards.
    void breakOffDownload() {
        EXPECT_FALSE(client_.getFile("big.bin", target_, false, kBigSize));
        EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
        EXPECT_FALSE(client_.isConnected());
        EXPECT_FALSE(std::filesystem::exists(target_));
        ASSERT_TRUE(client_.reconnect());
    }

    TempFolder root_;
    TempFolder local_;
    TempFolder settings_;
    ScriptedSftpServer server_;
    SftpClient client_;
    std::string target_;
    int questions_ = 0;
};

TEST_F(SftpRecoveryTest, ADownloadCutMidFileIsContinuedFromOurPartial) {
    startAndConnect("cut:" + std::to_string(kCutAt));
    breakOffDownload();
    const std::string partial = ftp::preferredPartialPath(target_);
    ASSERT_TRUE(std::filesystem::exists(partial));
    const auto kept = static_cast<int64_t>(std::filesystem::file_size(partial));
    EXPECT_GT(kept, 0);
    EXPECT_LE(kept, kCutAt);
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(records()[0].partialPath, partial);
    EXPECT_EQ(records()[0].remoteSize, kBigSize);
    EXPECT_FALSE(records()[0].remoteTime.empty());

    ASSERT_TRUE(client_.getFile("big.bin", target_, false, kBigSize));
    // The server was asked from where the partial ended, not from 0.
    ASSERT_EQ(offsets("read"), (std::vector<int64_t>{0, kept}));
    EXPECT_EQ(client_.transferredBytes(), kBigSize - kept);
    EXPECT_EQ(client_.transferEnd(), kBigSize);
    EXPECT_EQ(fileHash(target_), fileHash(root_.file("big.bin")));
    EXPECT_FALSE(partialsLeft());
    EXPECT_TRUE(records().empty());
}

TEST_F(SftpRecoveryTest, ARemoteFileThatChangedIsFetchedAgainWhole) {
    for (const std::string change : {"size", "time"}) {
        ASSERT_TRUE(writePatternFile(root_.file("big.bin"), kBigSize));
        setModificationTime(root_.file("big.bin"), 1700000000);
        startAndConnect("cut:" + std::to_string(kCutAt));
        breakOffDownload();
        ASSERT_EQ(records().size(), 1u) << change;
        // Other bytes of the same size and another time, or another size.
        ASSERT_TRUE(writePatternFile(root_.file("big.bin"), change == "size" ? kBigSize + 10 : kBigSize, 7));
        setModificationTime(root_.file("big.bin"), change == "size" ? 1700000000 : 1700000600);

        ASSERT_TRUE(client_.getFile("big.bin", target_)) << change;
        EXPECT_EQ(offsets("read").back(), 0) << change;
        EXPECT_EQ(fileHash(target_), fileHash(root_.file("big.bin"))) << change;
        EXPECT_FALSE(partialsLeft()) << change;
        EXPECT_TRUE(records().empty()) << change;
        std::filesystem::remove(target_);
        client_.disconnect();
    }
}

TEST_F(SftpRecoveryTest, OurPartialOfAFileNowSmallIsRemovedAndTheFileFetchedWhole) {
    startAndConnect("cut:" + std::to_string(kCutAt));
    breakOffDownload();
    ASSERT_TRUE(std::filesystem::exists(ftp::preferredPartialPath(target_)));
    ASSERT_EQ(records().size(), 1u);
    root_.write("big.bin", "now small");
    ASSERT_TRUE(client_.getFile("big.bin", target_, false, 9));
    EXPECT_EQ(local_.read("big.bin"), "now small");
    EXPECT_EQ(client_.transferEnd(), 9);
    EXPECT_FALSE(partialsLeft());
    EXPECT_TRUE(records().empty());
}

TEST_F(SftpRecoveryTest, SomeoneElsesPartialIsNeverContinuedNorTouched) {
    const std::string partial = ftp::preferredPartialPath(target_);
    const std::string theirs = patternBytes(kCutAt / 2, 3);

    // Theirs was there first: ours gets another name, and theirs stays.
    local_.write("big.bin.part", theirs);
    const ino_t theirInode = inodeOf(partial);
    startAndConnect("cut:" + std::to_string(kCutAt));
    breakOffDownload();
    ASSERT_EQ(records().size(), 1u);
    EXPECT_NE(records()[0].partialPath, partial);
    ASSERT_TRUE(client_.getFile("big.bin", target_));
    EXPECT_NE(offsets("read").back(), 0);
    EXPECT_EQ(fileHash(target_), fileHash(root_.file("big.bin")));
    EXPECT_EQ(local_.read("big.bin.part"), theirs);
    EXPECT_EQ(inodeOf(partial), theirInode);
    EXPECT_FALSE(partialsLeft("big.bin.part"));
    std::filesystem::remove(target_);
    std::filesystem::remove(partial);

    // Ours was put aside and another file put under its name: it is not
    // ours any more.
    client_.disconnect();
    startAndConnect("cut:" + std::to_string(kCutAt));
    breakOffDownload();
    ASSERT_EQ(records().size(), 1u);
    ASSERT_EQ(records()[0].partialPath, partial);
    const auto length = static_cast<std::size_t>(std::filesystem::file_size(partial));
    local_.write("replacement", patternBytes(length, 5));
    std::filesystem::rename(local_.file("replacement"), partial);
    const ino_t replacement = inodeOf(partial);
    ASSERT_TRUE(client_.getFile("big.bin", target_));
    EXPECT_EQ(offsets("read").back(), 0);
    EXPECT_EQ(fileHash(target_), fileHash(root_.file("big.bin")));
    EXPECT_EQ(local_.read("big.bin.part"), patternBytes(length, 5));
    EXPECT_EQ(inodeOf(partial), replacement);
}

TEST_F(SftpRecoveryTest, AnUploadCutIsContinuedFromWhatTheServerKept) {
    const std::string upload = local_.file("up.bin");
    ASSERT_TRUE(writePatternFile(upload, kBigSize, 9));
    // The server stops answering there, and the stall time-out ends the
    // connection.
    FtpTimeouts timeouts = kShortTimeouts;
    timeouts.stallMs = 1000;
    client_.setTimeouts(timeouts);
    startAndConnect("stallwrite:" + std::to_string(kCutAt));
    EXPECT_FALSE(client_.putFile(upload, "up.bin"));
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
    const int64_t reached = client_.transferEnd();
    const auto kept = static_cast<int64_t>(std::filesystem::file_size(root_.file("up.bin")));
    EXPECT_GT(reached, 0);
    EXPECT_EQ(kept, reached);

    ASSERT_TRUE(client_.reconnect());
    ASSERT_TRUE(client_.putFile(upload, "up.bin", false, reached));
    EXPECT_EQ(offsets("write"), (std::vector<int64_t>{0, kept}));
    EXPECT_EQ(client_.transferredBytes(), kBigSize - kept);
    EXPECT_EQ(fileHash(root_.file("up.bin")), fileHash(upload));
}

TEST_F(SftpRecoveryTest, AnUploadGoesOnOnlyFromWhatTheLastAttemptReached) {
    const std::string upload = local_.file("up.bin");
    ASSERT_TRUE(writePatternFile(upload, kBigSize, 9));
    startAndConnect();
    // The server holds the first 1000 bytes: going on from there.
    root_.write("up.bin", patternBytes(kBigSize, 9).substr(0, 1000));
    ASSERT_TRUE(client_.putFile(upload, "up.bin", false, 5000));
    EXPECT_EQ(offsets("write").back(), 1000);
    EXPECT_EQ(fileHash(root_.file("up.bin")), fileHash(upload));
    // More than the last attempt reached, or no limit: sent whole.
    root_.write("up.bin", std::string(6000, 'x'));
    ASSERT_TRUE(client_.putFile(upload, "up.bin", false, 5000));
    EXPECT_EQ(offsets("write").back(), 0);
    EXPECT_EQ(fileHash(root_.file("up.bin")), fileHash(upload));
    root_.write("up.bin", std::string(1000, 'x'));
    ASSERT_TRUE(client_.putFile(upload, "up.bin"));
    EXPECT_EQ(offsets("write").back(), 0);
    EXPECT_EQ(fileHash(root_.file("up.bin")), fileHash(upload));
}

TEST_F(SftpRecoveryTest, EveryFailureSaysWhetherTryingAgainMayHelp) {
    SftpClient never;
    EXPECT_FALSE(never.getFile("x", local_.file("x")));
    EXPECT_EQ(never.lastFailure(), TransferFailure::Permanent);  // nothing to make again
    EXPECT_FALSE(never.reconnect());
    EXPECT_EQ(never.lastFailure(), TransferFailure::Permanent);

    root_.makeFolder("full");
    root_.write("full/inside.txt", "x");
    local_.write("up.txt", "up");
    startAndConnect();
    EXPECT_FALSE(client_.getFile("missing.bin", local_.file("missing.bin")));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client_.removeDirectory("full"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client_.makeDirectory("full"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client_.getFile("big.bin", local_.file("no-such-folder/big.bin")));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(client_.putFile(local_.file("no-such-file"), "x.bin"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);

    // Each thread learns of its own last operation.
    std::thread other([this] {
        EXPECT_TRUE(client_.listEntries("/").complete);
        EXPECT_EQ(client_.lastFailure(), TransferFailure::None);
    });
    other.join();
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    ASSERT_TRUE(client_.putFile(local_.file("up.txt"), "up.txt"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::None);

    // Aborted, then a connection that is gone: worth another try.
    client_.abort();
    EXPECT_FALSE(client_.listEntries("/").complete);
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Aborted);
    EXPECT_FALSE(client_.deleteFile("up.txt"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);

    // A file shorter or longer than the server states.
    server_.stop();
    ASSERT_TRUE(server_.start(root_.path(), ScriptedSftpServer::Login::Password, "short:1000"));
    ASSERT_TRUE(connect());
    EXPECT_FALSE(client_.getFile("big.bin", local_.file("short.bin")));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
    EXPECT_TRUE(client_.isConnected());

    // A stall.
    ASSERT_TRUE(server_.start(root_.path(), ScriptedSftpServer::Login::Password, "stall"));
    FtpTimeouts timeouts = kShortTimeouts;
    timeouts.stallMs = 500;
    client_.setTimeouts(timeouts);
    ASSERT_TRUE(connect());
    EXPECT_FALSE(client_.getFile("big.bin", local_.file("stalled.bin")));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);

    // A refused login and a refused key are answers.
    client_.setTimeouts(kShortTimeouts);
    EXPECT_FALSE(client_.connect("127.0.0.1", kSftpUser, "wrong", server_.port()));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    client_.setHostKeyCheck([](const std::string&, int, const sftp::HostKey&) { return false; });
    client_.setKnownHostsFile("");
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
}

TEST_F(SftpRecoveryTest, AConnectionLimitIsWaitedOutNotTakenForAWrongPassword) {
    ASSERT_TRUE(server_.start(root_.path(), ScriptedSftpServer::Login::Password, "toomany"));
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::TooManyConnections);
    EXPECT_EQ(countLog("login attempt"), 0);
    EXPECT_FALSE(client_.reconnect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::TooManyConnections);
}

TEST_F(SftpRecoveryTest, ReconnectReturnsToTheFolderWithoutAskingAboutTheKeyAgain) {
    // No known-hosts file to keep the key in: only the client remembers it.
    client_.setKnownHostsFile("");
    root_.makeFolder("sub");
    root_.write("sub/big.bin", patternBytes(kBigSize));
    startAndConnect("cut:" + std::to_string(kCutAt));
    EXPECT_EQ(questions_, 1);
    ASSERT_TRUE(client_.setCurrentDirectory("sub"));
    EXPECT_FALSE(client_.getFile("big.bin", target_));
    EXPECT_FALSE(client_.isConnected());

    ASSERT_TRUE(client_.reconnect());
    EXPECT_EQ(questions_, 1);
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Accepted);
    EXPECT_EQ(client_.currentDirectory(), "/sub");
    ASSERT_TRUE(client_.getFile("big.bin", target_));
    EXPECT_EQ(local_.read("big.bin"), patternBytes(kBigSize));

    // A new connect asks again; after disconnect() nothing is repeated, and
    // an abort raised while idle ends the next reconnect.
    ASSERT_TRUE(connect());
    EXPECT_EQ(questions_, 2);
    client_.abort();
    EXPECT_FALSE(client_.reconnect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Aborted);
    ASSERT_TRUE(client_.reconnect());
    client_.disconnect();
    EXPECT_FALSE(client_.reconnect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
}

TEST_F(SftpRecoveryTest, KeepAliveAsksOnlyWhileIdleAndAClosedConnectionIsNoticed) {
    startAndConnect("stall");
    EXPECT_TRUE(client_.connectionAlive());
    const int before = countLog("stat .");
    EXPECT_TRUE(client_.keepAlive());
    EXPECT_EQ(countLog("stat ."), before + 1);

    // During a transfer: nothing is sent, and the answer comes at once.
    const std::string stalled = local_.file("stalled.bin");
    auto download = std::async(std::launch::async, [&] { return client_.getFile("big.bin", stalled); });
    ASSERT_TRUE(waitFor([&] { return !client_.partialPathFor(stalled).empty(); }));
    EXPECT_TRUE(client_.keepAlive());
    EXPECT_TRUE(client_.connectionAlive());
    EXPECT_EQ(countLog("stat ."), before + 1);
    client_.abortRunningOperation();
    ASSERT_EQ(download.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_FALSE(download.get());

    // The server goes away while the connection is idle.
    ASSERT_TRUE(connect());
    EXPECT_TRUE(client_.connectionAlive());
    server_.stop();
    ASSERT_TRUE(waitFor([&] { return !client_.connectionAlive(); }));
    EXPECT_FALSE(client_.isConnected());
    EXPECT_FALSE(client_.keepAlive());
}

// ---- OpenSSH's sshd: its own ways of ending connections

class SftpOpensshRecoveryTest : public testing::Test {
protected:
    void SetUp() override {
        if (!server_.available())
            GTEST_SKIP() << "sshd runs only as root";
        client_.setTimeouts(kShortTimeouts);
        client_.setSshDirectory("");
        client_.setKnownHostsFile("");
        client_.setTrustedKnownHostsFile("");
        client_.setHostKeyCheck([this](const std::string&, int, const sftp::HostKey&) {
            ++questions_;
            return true;
        });
    }
    void start(const std::string& config) {
        ASSERT_TRUE(server_.start(site_.path(), config)) << server_.log();
        client_.setSshDirectory(server_.clientKeyFolder());
    }
    bool connect() { return client_.connect("127.0.0.1", "root", "", server_.port()); }
    std::string sitePath() const { return std::filesystem::canonical(site_.path()).string(); }

    TempFolder site_;
    OpensshServer server_;
    SftpClient client_;
    int questions_ = 0;
};

TEST_F(SftpOpensshRecoveryTest, AnIdleConnectionTheServerClosedIsNoticedAndMadeAgain) {
    // sshd ends a connection whose client does not answer its keep-alive
    // within two intervals: an idle client reads nothing, so answers none.
    start("ClientAliveInterval 2\nClientAliveCountMax 1\n");
    site_.makeFolder("sub");
    ASSERT_TRUE(connect()) << server_.log();
    ASSERT_TRUE(client_.setCurrentDirectory("sub"));
    EXPECT_TRUE(client_.connectionAlive());
    ASSERT_TRUE(waitFor([&] { return server_.log().find("Timeout, client not responding") != std::string::npos; },
                        60000))
        << server_.log();
    ASSERT_TRUE(waitFor([&] { return !client_.connectionAlive(); }));
    EXPECT_FALSE(client_.isConnected());

    ASSERT_TRUE(client_.reconnect()) << server_.log();
    EXPECT_EQ(questions_, 1);
    EXPECT_EQ(client_.currentDirectory(), sitePath() + "/sub");
    EXPECT_TRUE(client_.listEntries("").complete);
}

TEST_F(SftpOpensshRecoveryTest, MaxStartupsIsTooManyConnections) {
    start("MaxStartups 1\n");
    // A connection that has not logged in holds the one place.
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server_.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    char banner[4] = {};
    ASSERT_EQ(::recv(holder, banner, sizeof banner, MSG_WAITALL), 4);  // sshd took it on

    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.lastFailure(), TransferFailure::TooManyConnections);
    EXPECT_EQ(client_.security().failure, SecurityFailure::HandshakeFailed);
    EXPECT_EQ(questions_, 0);

    // Once the place is free, waiting and trying again gets in.
    ::close(holder);
    EXPECT_TRUE(waitFor([&] { return connect(); })) << server_.log();
}

} // namespace
