// Transfers that survive the network, against real servers: pyftpdlib made
// to break transfers off, drop idle connections and turn connections away;
// vsftpd with a short idle time-out and a connection limit, its own REST.
#include "ftp/FtpClient.h"
#include "ftp/PartialFile.h"
#include "ftp/ResumeRecords.h"
#include "tests/support/FtpServers.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <thread>

#include <sys/stat.h>
#include <utime.h>

using testsupport::PyFtpdFaults;
using testsupport::PyFtpdServer;
using testsupport::TempFolder;
using testsupport::patternBytes;
using testsupport::waitFor;
using testsupport::VsftpdServer;

namespace {

const FtpTimeouts kTimeouts{5000, 5000, 5000, 5000};



bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::string kBig = patternBytes(4 * 1024 * 1024 + 77);

class PyFtpdRecoveryTest : public testing::Test {
protected:
    void SetUp() override {
        client_.setTimeouts(kTimeouts);
        client_.setResumeFolder(settings_.path());
    }
    bool start(PyFtpdFaults faults) {
        faults.commandLog = logs_.file("commands.log");
        return server_.startWithFaults(root_.path(), faults);
    }
    bool connect(FtpClient& client) {
        return client.connect("127.0.0.1", testsupport::kPyFtpdUser, testsupport::kPyFtpdPassword, server_.port(),
                              true);
    }
    std::string log() const { return testsupport::readFileBytes(logs_.file("commands.log")); }
    void reconnectIfNeeded() {
        if (!client_.isConnected()) {
            ASSERT_TRUE(client_.reconnect());
        }
    }

    TempFolder root_, local_, settings_, logs_;
    PyFtpdServer server_;
    FtpClient client_;
};

TEST_F(PyFtpdRecoveryTest, ADownloadCutHalfwayIsContinuedByteForByte) {
    root_.write("big.bin", kBig);
    PyFtpdFaults faults;
    faults.cutDownloadAt = static_cast<long long>(kBig.size() / 2);
    ASSERT_TRUE(start(faults));
    ASSERT_TRUE(connect(client_));
    const std::string target = local_.file("big.bin");
    EXPECT_FALSE(client_.getFile("/big.bin", target, false, static_cast<int64_t>(kBig.size())));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
    const std::string partial = ftp::preferredPartialPath(target);
    ASSERT_TRUE(std::filesystem::exists(partial));
    const auto kept = std::filesystem::file_size(partial);
    ASSERT_GT(kept, 0u);
    ASSERT_LT(kept, kBig.size());
    reconnectIfNeeded();
    ASSERT_TRUE(client_.getFile("/big.bin", target, false, static_cast<int64_t>(kBig.size())));
    EXPECT_TRUE(contains(log(), "REST " + std::to_string(kept) + "\nRETR /big.bin\n")) << log();
    EXPECT_EQ(local_.read("big.bin"), kBig);
    EXPECT_FALSE(std::filesystem::exists(partial));
}

TEST_F(PyFtpdRecoveryTest, AFileChangedOnTheServerIsFetchedAgainWhole) {
    // The server cuts only its first transfer: it is started afresh for
    // each case.
    const std::string target = local_.file("big.bin");
    for (const std::string change : {"size", "time"}) {
        root_.write("big.bin", kBig);
        PyFtpdFaults faults;
        faults.cutDownloadAt = static_cast<long long>(kBig.size() / 2);
        ASSERT_TRUE(start(faults));
        ASSERT_TRUE(connect(client_));
        EXPECT_FALSE(client_.getFile("/big.bin", target, false, static_cast<int64_t>(kBig.size())));
        ASSERT_TRUE(std::filesystem::exists(ftp::preferredPartialPath(target))) << change;
        const std::string changed = change == "size" ? kBig.substr(0, kBig.size() - 1000) : patternBytes(kBig.size(), 9);
        root_.write("big.bin", changed);
        if (change == "time") {
            // Same size, other bytes, a time that differs for certain.
            utimbuf times{std::time(nullptr) - 3600, std::time(nullptr) - 3600};
            ASSERT_EQ(::utime(root_.file("big.bin").c_str(), &times), 0);
        }
        reconnectIfNeeded();
        const std::size_t before = log().size();
        ASSERT_TRUE(client_.getFile("/big.bin", target, false, static_cast<int64_t>(changed.size()))) << change;
        EXPECT_FALSE(contains(log().substr(before), "REST")) << log();
        EXPECT_EQ(local_.read("big.bin"), changed) << change;
        EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(target))) << change;
        std::filesystem::remove(target);
        client_.disconnect();
        server_.stop();
    }
}

TEST_F(PyFtpdRecoveryTest, AnUploadCutHalfwayGoesOnWithRestOrAppe) {
    local_.write("up.bin", kBig);
    for (bool refuseRest : {false, true}) {
        PyFtpdFaults faults;
        faults.cutUploadAt = static_cast<long long>(kBig.size() / 2);
        faults.refuseRest = refuseRest;
        ASSERT_TRUE(start(faults));
        ASSERT_TRUE(connect(client_));
        EXPECT_FALSE(client_.putFile(local_.file("up.bin"), "/up.bin")) << refuseRest;
        EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient) << refuseRest;
        const int64_t sent = client_.transferEnd();
        // What the server wrote once it saw the cut.
        std::uintmax_t kept = 0;
        ASSERT_TRUE(waitFor([&] {
            std::error_code ec;
            kept = std::filesystem::file_size(root_.file("up.bin"), ec);
            return !ec && kept > 0;
        }));
        ASSERT_LE(static_cast<int64_t>(kept), sent);
        ASSERT_LT(kept, kBig.size());
        reconnectIfNeeded();
        const std::size_t before = log().size();
        ASSERT_TRUE(client_.putFile(local_.file("up.bin"), "/up.bin", false, sent)) << refuseRest;
        const std::string sentNow = log().substr(before);
        if (refuseRest)
            EXPECT_TRUE(contains(sentNow, "APPE /up.bin\n")) << sentNow;
        else
            EXPECT_TRUE(contains(sentNow, "REST " + std::to_string(kept) + "\nSTOR /up.bin\n")) << sentNow;
        EXPECT_EQ(root_.read("up.bin"), kBig) << refuseRest;
        client_.disconnect();
        server_.stop();
        std::filesystem::remove(root_.file("up.bin"));
    }
}

TEST_F(PyFtpdRecoveryTest, AConnectionLimitIsWaitedOutNotTakenForAWrongPassword) {
    PyFtpdFaults faults;
    faults.maxConnections = 1;
    ASSERT_TRUE(start(faults));
    FtpClient holder;
    ASSERT_TRUE(connect(holder));
    EXPECT_FALSE(connect(client_));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::TooManyConnections);
    holder.disconnect();
    EXPECT_TRUE(waitFor([&] { return connect(client_); }));
}

TEST_F(PyFtpdRecoveryTest, AfterTheServerDroppedAnIdleConnectionTheReconnectIsInTheSameFolder) {
    root_.write("sub/inner.txt", "inner");
    PyFtpdFaults faults;
    faults.idleSeconds = 1;
    ASSERT_TRUE(start(faults));
    ASSERT_TRUE(connect(client_));
    ASSERT_TRUE(client_.setCurrentDirectory("/sub"));
    EXPECT_TRUE(waitFor([&] { return !client_.connectionAlive(); }));
    EXPECT_FALSE(client_.isConnected());
    ASSERT_TRUE(client_.reconnect());
    EXPECT_EQ(client_.currentDirectory(), "/sub");
    std::vector<std::string> names;
    EXPECT_EQ(client_.listDirectory("*", -1, &names), 1);
    EXPECT_EQ(names, std::vector<std::string>{"inner.txt"});
}

// ---- vsftpd

class VsftpdRecoveryTest : public testing::Test {
protected:
    void SetUp() override {
        if (!server_.available())
            GTEST_SKIP() << "vsftpd needs root";
        client_.setTimeouts(kTimeouts);
        client_.setResumeFolder(settings_.path());
    }
    bool start(const testsupport::VsftpdOptions& options) {
        server_.setOptions(options);
        return server_.start(root_.path());
    }
    bool connect(FtpClient& client) { return client.connect("127.0.0.1", "anonymous", "", server_.port()); }
    void addRemote(const std::string& relative, const std::string& bytes) {
        root_.write("pub/" + relative, bytes);
        ASSERT_TRUE(VsftpdServer::handOver(root_.file("pub/" + relative)));
    }

    TempFolder root_, local_, settings_;
    VsftpdServer server_;
    FtpClient client_;
};

TEST_F(VsftpdRecoveryTest, AnIdleConnectionTheServerClosedIsNoticedAndMadeAgain) {
    testsupport::VsftpdOptions options;
    options.idleSessionSeconds = 1;
    ASSERT_TRUE(start(options)) << server_.errors();
    root_.makeFolder("pub/sub");
    ASSERT_TRUE(VsftpdServer::handOver(root_.file("pub/sub")));
    ASSERT_TRUE(connect(client_));
    ASSERT_TRUE(client_.setCurrentDirectory("/pub/sub"));
    EXPECT_TRUE(waitFor([&] { return !client_.connectionAlive(); }));
    EXPECT_FALSE(client_.isConnected());
    ASSERT_TRUE(client_.reconnect());
    EXPECT_EQ(client_.currentDirectory(), "/pub/sub");
}

TEST_F(VsftpdRecoveryTest, AConnectionLimitIsTooManyConnections) {
    testsupport::VsftpdOptions options;
    options.maxClients = 1;
    ASSERT_TRUE(start(options)) << server_.errors();
    FtpClient holder;
    // The start-up probe's connection may still count for a moment.
    ASSERT_TRUE(waitFor([&] { return connect(holder); }));
    EXPECT_FALSE(connect(client_));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::TooManyConnections);
    holder.disconnect();
    EXPECT_TRUE(waitFor([&] { return connect(client_); }));
}

// vsftpd cannot be made to break a transfer off: the state one leaves (our
// partial and its record, half an upload on the server) is laid out here.
TEST_F(VsftpdRecoveryTest, ItsRestContinuesAPartialDownloadAndAnUpload) {
    testsupport::VsftpdOptions options;
    options.logProtocol = true;
    ASSERT_TRUE(start(options)) << server_.errors();
    addRemote("big.bin", kBig);
    const std::string target = local_.file("big.bin");
    const std::string partial = ftp::preferredPartialPath(target);
    const std::size_t kept = kBig.size() / 3;
    local_.write("big.bin.part", kBig.substr(0, kept));
    struct stat local {}, remote {};
    ASSERT_EQ(::stat(partial.c_str(), &local), 0);
    ASSERT_EQ(::stat(root_.file("pub/big.bin").c_str(), &remote), 0);
    char mdtm[32];
    std::tm utc{};
    ::gmtime_r(&remote.st_mtime, &utc);
    std::strftime(mdtm, sizeof mdtm, "%Y%m%d%H%M%S", &utc);
    ftp::ResumeRecord record;
    record.partialPath = partial;
    record.device = local.st_dev;
    record.inode = local.st_ino;
    record.server = "127.0.0.1:" + std::to_string(server_.port()) + ":anonymous";
    record.remotePath = "/pub/big.bin";
    record.targetPath = target;
    record.remoteSize = static_cast<int64_t>(kBig.size());
    record.remoteTime = mdtm;
    record.started = std::time(nullptr);
    ASSERT_TRUE(ftp::ResumeRecords(settings_.path()).add(record));

    ASSERT_TRUE(connect(client_));
    ASSERT_TRUE(client_.getFile("/pub/big.bin", target, false, static_cast<int64_t>(kBig.size())));
    EXPECT_EQ(local_.read("big.bin"), kBig);
    EXPECT_EQ(client_.transferredBytes(), static_cast<int64_t>(kBig.size() - kept));
    EXPECT_TRUE(contains(server_.protocolLog(), "\"REST " + std::to_string(kept) + "\"")) << server_.protocolLog();

    local_.write("up.bin", kBig);
    addRemote("up.bin", kBig.substr(0, kept));
    ASSERT_TRUE(client_.putFile(local_.file("up.bin"), "/pub/up.bin", false, static_cast<int64_t>(kept + 5000)));
    EXPECT_EQ(client_.transferredBytes(), static_cast<int64_t>(kBig.size() - kept));
    EXPECT_EQ(root_.read("pub/up.bin"), kBig);
}

} // namespace
