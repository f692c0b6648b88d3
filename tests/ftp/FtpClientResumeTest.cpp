// Transfers that broke off, continued against a scripted server: a partial
// download goes on with REST only when it is ours and the remote file did
// not change; an upload goes on from what the server kept. The result is
// always the whole file, byte for byte, or no file.
#include "ftp/FtpClient.h"
#include "ftp/PartialFile.h"
#include "ftp/ResumeRecords.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include <sys/stat.h>

using testsupport::ScriptedFtpServer;
using testsupport::ScriptedSession;
using testsupport::TempFolder;
using testsupport::patternBytes;

namespace {

const FtpTimeouts kShortTimeouts{500, 1000, 300, 1000};
constexpr const char* kTime = "20240101120000";


const std::string kBig = patternBytes(2 * 1024 * 1024 + 123);
const std::size_t kHalf = kBig.size() / 2;

class ResumeTest : public testing::Test {
protected:
    void SetUp() override {
        client_.setTimeouts(kShortTimeouts);
        client_.setResumeFolder(settings_.path());
        server_.setFeatures({"SIZE", "MDTM", "REST STREAM"});
        server_.setFile("big.bin", kBig);
        server_.setFileTime("big.bin", kTime);
        target_ = local_.file("big.bin");
    }

    bool connect() { return client_.connect("127.0.0.1", "user", "pw", server_.port()); }
    void startAndConnect() {
        ASSERT_TRUE(server_.start());
        ASSERT_TRUE(connect());
    }

    // The next RETR breaks off after `at` bytes: the data connection
    // closes and the server says 426, or drops the whole connection.
    // RETRs after it are served whole (from a REST offset).
    void cutNextDownloadAt(std::size_t at, bool dropConnection = false) {
        cutPending_ = true;
        server_.on("RETR", [this, at, dropConnection](ScriptedSession& s, const std::string& name) {
            if (!cutPending_.exchange(false)) {
                server_.serveFile(s, name);
                return;
            }
            const std::string bytes = server_.file(name).substr(static_cast<std::size_t>(s.takeRestart()));
            s.reply("150 opening");
            s.openData();
            s.sendData(bytes.substr(0, at));
            s.closeData();
            if (dropConnection)
                s.close();
            else
                s.reply("426 Connection closed; transfer aborted.");
        });
    }

    // A download that breaks off halfway and leaves our partial behind.
    void breakOffHalfway(bool dropConnection = false) {
        cutNextDownloadAt(kHalf, dropConnection);
        EXPECT_FALSE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size())));
        EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
        EXPECT_FALSE(std::filesystem::exists(target_));
        if (!client_.isConnected()) {
            ASSERT_TRUE(client_.reconnect());
        }
    }

    std::vector<std::string> commandsFrom(std::size_t first) const {
        std::vector<std::string> all = server_.commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(first, all.size())), all.end());
    }
    static int countVerb(const std::vector<std::string>& lines, const std::string& verb) {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string& l) { return l.rfind(verb, 0) == 0; }));
    }
    std::vector<ftp::ResumeRecord> records() const { return ftp::ResumeRecords(settings_.path()).all(); }
    static ino_t inodeOf(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }
    // No partial file of ours is left beside the target.
    bool partialsLeft() const {
        for (const auto& entry : std::filesystem::directory_iterator(local_.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("big.bin.", 0) == 0 && name != "big.bin.part")
                return true;
        }
        return std::filesystem::exists(ftp::preferredPartialPath(target_));
    }

    ScriptedFtpServer server_;
    FtpClient client_;
    TempFolder local_;
    TempFolder settings_;
    std::string target_;
    std::atomic<bool> cutPending_{false};
};

TEST_F(ResumeTest, ADownloadCutHalfwayIsContinuedWithRest) {
    ASSERT_TRUE(server_.start());
    for (bool dropConnection : {false, true}) {
        ASSERT_TRUE(connect());
        breakOffHalfway(dropConnection);
        const std::string partial = ftp::preferredPartialPath(target_);
        ASSERT_TRUE(std::filesystem::exists(partial)) << dropConnection;
        EXPECT_EQ(std::filesystem::file_size(partial), kHalf) << dropConnection;
        ASSERT_EQ(records().size(), 1u);
        EXPECT_EQ(records()[0].remoteSize, static_cast<int64_t>(kBig.size()));
        EXPECT_EQ(records()[0].remoteTime, kTime);
        struct stat info {};
        ASSERT_EQ(::stat(ftp::ResumeRecords(settings_.path()).filePath().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);

        const std::size_t mark = server_.commands().size();
        ASSERT_TRUE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size()))) << dropConnection;
        const std::vector<std::string> sent = commandsFrom(mark);
        const auto rest = std::find(sent.begin(), sent.end(), "REST " + std::to_string(kHalf));
        ASSERT_NE(rest, sent.end()) << dropConnection;
        ASSERT_NE(rest + 1, sent.end());
        EXPECT_EQ(*(rest + 1), "RETR big.bin");  // the restart right before the transfer
        EXPECT_EQ(client_.transferredBytes(), static_cast<int64_t>(kBig.size() - kHalf));
        EXPECT_EQ(local_.read("big.bin"), kBig) << dropConnection;
        EXPECT_FALSE(partialsLeft());
        EXPECT_TRUE(records().empty());
        std::filesystem::remove(target_);
    }
}

TEST_F(ResumeTest, ARemoteFileThatChangedStartsOverWithNoMixedFile) {
    ASSERT_TRUE(server_.start());
    for (const std::string change : {"size", "time"}) {
        server_.setFile("big.bin", kBig);
        server_.setFileTime("big.bin", kTime);
        ASSERT_TRUE(connect());
        breakOffHalfway();
        ASSERT_EQ(records().size(), 1u) << change;
        // Same size but other bytes and another time, or another size.
        const std::string changed = change == "size" ? kBig + "grown" : patternBytes(kBig.size(), 7);
        server_.setFile("big.bin", changed);
        if (change == "time")
            server_.setFileTime("big.bin", "20240101120500");
        const std::size_t mark = server_.commands().size();
        ASSERT_TRUE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(changed.size()))) << change;
        EXPECT_EQ(countVerb(commandsFrom(mark), "REST"), 0) << change;
        EXPECT_EQ(local_.read("big.bin"), changed) << change;
        EXPECT_FALSE(partialsLeft()) << change;
        EXPECT_TRUE(records().empty());
        std::filesystem::remove(target_);
    }
}

TEST_F(ResumeTest, SomeoneElsesPartialIsNeverContinuedNorTouched) {
    const std::string partial = ftp::preferredPartialPath(target_);
    const std::string theirs = "their own download, " + patternBytes(kHalf - 20, 3);
    startAndConnect();

    // Theirs was there first: ours gets another name and theirs stays.
    local_.write("big.bin.part", theirs);
    const ino_t theirInode = inodeOf(partial);
    breakOffHalfway();
    ASSERT_EQ(records().size(), 1u);
    EXPECT_NE(records()[0].partialPath, partial);
    ASSERT_TRUE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size())));
    EXPECT_TRUE(std::find(server_.commands().begin(), server_.commands().end(), "REST " + std::to_string(kHalf)) !=
                server_.commands().end());
    EXPECT_EQ(local_.read("big.bin"), kBig);
    EXPECT_EQ(local_.read("big.bin.part"), theirs);
    EXPECT_EQ(inodeOf(partial), theirInode);
    std::filesystem::remove(target_);
    std::filesystem::remove(partial);

    // Ours was put aside and another file of the same length put under its
    // name (made before ours goes, so it cannot reuse its inode); then a
    // link there to a file elsewhere.
    local_.write("outside", theirs);
    for (const std::string replacement : {"file", "link"}) {
        breakOffHalfway();
        ASSERT_EQ(records().size(), 1u) << replacement;
        ASSERT_EQ(records()[0].partialPath, partial) << replacement;
        if (replacement == "file") {
            local_.write("replacement", patternBytes(kHalf, 5));
            std::filesystem::rename(local_.file("replacement"), partial);
        } else {
            std::filesystem::create_symlink(local_.file("outside"), local_.file("link"));
            std::filesystem::rename(local_.file("link"), partial);
        }
        const ino_t inode = inodeOf(partial);
        const std::size_t mark = server_.commands().size();
        ASSERT_TRUE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size()))) << replacement;
        EXPECT_EQ(countVerb(commandsFrom(mark), "REST"), 0) << replacement;
        EXPECT_EQ(local_.read("big.bin"), kBig) << replacement;
        EXPECT_EQ(inodeOf(partial), inode) << replacement;
        if (replacement == "file")
            EXPECT_EQ(local_.read("big.bin.part"), patternBytes(kHalf, 5));
        else
            EXPECT_TRUE(std::filesystem::is_symlink(partial));
        EXPECT_EQ(local_.read("outside"), theirs);
        std::filesystem::remove(target_);
        std::filesystem::remove(partial);
    }
}

TEST_F(ResumeTest, AServerThatRefusesRestSendsTheWholeFileAgain) {
    server_.setFeatures({"SIZE", "MDTM"});
    server_.on("REST", [](ScriptedSession& s, const std::string&) { s.reply("502 Command not implemented."); });
    startAndConnect();
    breakOffHalfway();
    const std::size_t mark = server_.commands().size();
    ASSERT_TRUE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size())));
    const std::vector<std::string> sent = commandsFrom(mark);
    EXPECT_EQ(countVerb(sent, "REST"), 1);  // tried, refused
    EXPECT_EQ(countVerb(sent, "RETR"), 1);
    EXPECT_EQ(client_.transferredBytes(), static_cast<int64_t>(kBig.size()));
    EXPECT_EQ(local_.read("big.bin"), kBig);
    EXPECT_FALSE(partialsLeft());
}

// A server that takes REST and then sends the whole file anyway, or too
// little: the partial plus what came is not the file, and never becomes it.
TEST_F(ResumeTest, AContinuedFileThatDoesNotEndAtItsSizeIsNotKept) {
    ASSERT_TRUE(server_.start());
    for (const std::string fault : {"ignores REST", "ends early"}) {
        ASSERT_TRUE(connect());
        breakOffHalfway();
        server_.on("RETR", [fault](ScriptedSession& s, const std::string& name) {
            const long long offset = s.takeRestart();
            const std::string bytes = s.server().file(name);
            s.reply("150 opening");
            s.openData();
            s.sendData(fault == "ignores REST" ? bytes : bytes.substr(static_cast<std::size_t>(offset), 1000));
            s.closeData();
            s.reply("226 done");
        });
        EXPECT_FALSE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size()))) << fault;
        EXPECT_FALSE(std::filesystem::exists(target_)) << fault;
        server_.on("RETR", [](ScriptedSession& s, const std::string& name) { s.server().serveFile(s, name); });
        ASSERT_TRUE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size()))) << fault;
        EXPECT_EQ(local_.read("big.bin"), kBig) << fault;
        EXPECT_FALSE(partialsLeft()) << fault;
        std::filesystem::remove(target_);
    }
}

TEST_F(ResumeTest, APermanentFailureDropsTheRecordAndThePartial) {
    startAndConnect();
    breakOffHalfway();
    ASSERT_TRUE(std::filesystem::exists(ftp::preferredPartialPath(target_)));
    server_.on("RETR", [](ScriptedSession& s, const std::string&) { s.reply("550 Permission denied."); });
    EXPECT_FALSE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size())));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Permanent);
    EXPECT_FALSE(partialsLeft());
    EXPECT_TRUE(records().empty());
}

TEST_F(ResumeTest, SmallListedFilesCostNoExtraRoundTrip) {
    server_.setFile("small.txt", "tiny");
    startAndConnect();
    ASSERT_TRUE(client_.getFile("small.txt", local_.file("small.txt"), false, 4));
    EXPECT_EQ(countVerb(server_.commands(), "SIZE"), 0);
    EXPECT_EQ(countVerb(server_.commands(), "MDTM"), 0);
    ASSERT_TRUE(client_.getFile("big.bin", target_, false, static_cast<int64_t>(kBig.size())));
    EXPECT_EQ(countVerb(server_.commands(), "SIZE"), 1);
    EXPECT_EQ(countVerb(server_.commands(), "MDTM"), 1);
    EXPECT_EQ(local_.read("big.bin"), kBig);
}

// ---- uploads

class UploadResumeTest : public ResumeTest {
protected:
    void SetUp() override {
        ResumeTest::SetUp();
        local_.write("up.bin", kBig);
        upload_ = local_.file("up.bin");
    }
    std::string upload_;
};

TEST_F(UploadResumeTest, AnUploadCutIsContinuedFromWhatTheServerKept) {
    std::atomic<bool> cut{true};
    server_.on("STOR", [&](ScriptedSession& s, const std::string& name) {
        if (!cut.exchange(false)) {
            s.server().storeFile(s, name, false);
            return;
        }
        s.reply("150 send it");
        s.openData();
        s.server().setUpload(name, s.receiveData(kHalf));
        s.closeData();
        s.reply("426 Connection closed; transfer aborted.");
    });
    startAndConnect();
    EXPECT_FALSE(client_.putFile(upload_, "up.bin"));
    EXPECT_EQ(client_.lastFailure(), TransferFailure::Transient);
    const int64_t sent = client_.transferEnd();
    EXPECT_GE(sent, static_cast<int64_t>(kHalf));
    ASSERT_EQ(server_.upload("up.bin").size(), kHalf);
    if (!client_.isConnected()) {
        ASSERT_TRUE(client_.reconnect());
    }

    const std::size_t mark = server_.commands().size();
    ASSERT_TRUE(client_.putFile(upload_, "up.bin", false, sent));
    const std::vector<std::string> commands = commandsFrom(mark);
    const auto rest = std::find(commands.begin(), commands.end(), "REST " + std::to_string(kHalf));
    ASSERT_NE(rest, commands.end());
    EXPECT_EQ(*(rest + 1), "STOR up.bin");
    EXPECT_EQ(client_.transferredBytes(), static_cast<int64_t>(kBig.size() - kHalf));
    EXPECT_EQ(client_.transferEnd(), static_cast<int64_t>(kBig.size()));
    EXPECT_EQ(server_.upload("up.bin"), kBig);
}

// REST refused, or taken but STOR then refused (as ProFTPD does without
// AllowStoreRestart): APPE sends the rest.
TEST_F(UploadResumeTest, AServerThatWillNotRestartAStoreIsAppendedTo) {
    server_.on("REST", [&](ScriptedSession& s, const std::string&) { s.reply("502 Command not implemented."); });
    ASSERT_TRUE(server_.start());
    for (const std::string how : {"REST", "STOR"}) {
        if (how == "STOR") {
            server_.on("REST", [](ScriptedSession& s, const std::string&) { s.reply("350 Restarting."); });
            server_.on("STOR", [](ScriptedSession& s, const std::string& name) {
                s.reply("451 " + name + ": Append/Restart not permitted, try again");
            });
        }
        ASSERT_TRUE(connect());
        server_.setUpload("up.bin", kBig.substr(0, kHalf));
        const std::size_t mark = server_.commands().size();
        ASSERT_TRUE(client_.putFile(upload_, "up.bin", false, static_cast<int64_t>(kHalf + 1000))) << how;
        const std::vector<std::string> commands = commandsFrom(mark);
        EXPECT_EQ(countVerb(commands, "APPE"), 1) << how;
        EXPECT_EQ(server_.upload("up.bin"), kBig) << how;
    }
}

TEST_F(UploadResumeTest, AnythingButOurOwnBytesOnTheServerIsSentAgainWhole) {
    startAndConnect();
    // More on the server than the failed attempt sent: not ours.
    server_.setUpload("up.bin", kBig.substr(0, kHalf + 5000));
    std::size_t mark = server_.commands().size();
    ASSERT_TRUE(client_.putFile(upload_, "up.bin", false, static_cast<int64_t>(kHalf)));
    EXPECT_EQ(countVerb(commandsFrom(mark), "REST"), 0);
    EXPECT_EQ(server_.upload("up.bin"), kBig);

    // A server that takes REST but writes STOR from the start: the size
    // check afterwards finds out, and the file goes again whole.
    server_.on("STOR", [](ScriptedSession& s, const std::string& name) {
        s.takeRestart();
        s.server().storeFile(s, name, false);
    });
    server_.setUpload("up.bin", kBig.substr(0, kHalf));
    mark = server_.commands().size();
    ASSERT_TRUE(client_.putFile(upload_, "up.bin", false, static_cast<int64_t>(kHalf)));
    EXPECT_EQ(countVerb(commandsFrom(mark), "STOR"), 2);
    EXPECT_EQ(server_.upload("up.bin"), kBig);

    // Text mode changes line ends: never continued.
    server_.setUpload("up.bin", kBig.substr(0, kHalf));
    mark = server_.commands().size();
    ASSERT_TRUE(client_.putFile(upload_, "up.bin", true, static_cast<int64_t>(kHalf)));
    EXPECT_EQ(countVerb(commandsFrom(mark), "SIZE"), 0);
    EXPECT_EQ(countVerb(commandsFrom(mark), "REST"), 0);
}

} // namespace
