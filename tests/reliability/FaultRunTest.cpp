// Whole-program fault runs through the real main window and handlers: the
// server killed, stalled or cutting the connection, a full disk, and the
// window closed, each in the middle of a batch. Every run must end (no
// hang), leave each file complete or absent, and log and count the truth.
#include "app/state/WorkerThreads.h"
#include "ftp/FtpClient.h"
#include "ftp/PartialFile.h"
#include "ftp/ResumeRecords.h"
#include "ftp/handlers/CurrentSession.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <map>
#include <set>
#include <thread>

using namespace testsupport;

namespace {

constexpr int64_t kBigFileBytes = 12 * 1024 * 1024;
constexpr int kBatchFiles = 6;

std::string nameOf(int i) {
    return "f" + std::to_string(i) + ".bin";
}

std::vector<std::string> batchNames() {
    std::vector<std::string> names;
    for (int i = 1; i <= kBatchFiles; ++i)
        names.push_back(nameOf(i));
    return names;
}

void click(ConnectedWindow& c, const char* button) {
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>(button), Qt::LeftButton);
}

bool statusStartsWith(ConnectedWindow& c, const std::string& prefix) {
    return c.w().状态条1.paneText(1).rfind(prefix, 0) == 0;
}

int countLines(ConnectedWindow& c, const std::string& line) {
    int n = 0;
    for (const std::string& l : c.logLines())
        n += l == line;
    return n;
}

bool downloadEnded(ConnectedWindow& c) {
    return c.w().下载钮.caption() == "下载" && runningWorkers() == 0;
}

bool uploadEnded(ConnectedWindow& c) {
    return c.w().上传钮.caption() == "上传" && runningWorkers() == 0;
}

bool deleteEnded(ConnectedWindow& c) {
    return runningWorkers() == 0 && c.w().状态条1.paneText(1) != "正在删除文件...";
}

// Whether the resume records (in the settings folder) hold the partial
// file: one kept to be continued by the next try.
bool recordedForResume(ConnectedWindow& c, const std::string& partialPath) {
    for (const ftp::ResumeRecord& record : ftp::ResumeRecords(c.h.folder().path()).all())
        if (record.partialPath == partialPath)
            return true;
    return false;
}

// Each downloaded file is complete or absent, nothing partial is left but
// what is recorded to be continued, and the log and the counts agree with
// what is on disk. Returns the failures.
int checkDownloads(ConnectedWindow& c, const std::map<std::string, uint64_t>& expected) {
    int present = 0, failed = 0;
    for (const auto& [name, hash] : expected) {
        const std::string path = c.local.file(name);
        const std::string partial = ftp::preferredPartialPath(path);
        EXPECT_TRUE(!platform::pathExists(partial) || recordedForResume(c, partial)) << name;
        const bool ok = countLines(c, name + "    下载成功") == 1;
        // A batch without any success repeats the last failure as its
        // closing line.
        const bool fail = countLines(c, name + "    下载失败") >= 1;
        EXPECT_NE(ok, fail) << name << " is logged with one outcome";
        if (platform::pathExists(path)) {
            EXPECT_EQ(fileHash(path), hash) << name << " is there but not whole";
            EXPECT_TRUE(ok) << name;
            ++present;
        } else {
            EXPECT_TRUE(fail) << name;
            ++failed;
        }
    }
    EXPECT_EQ(c.w().状态条1.paneText(2),
              "下载个数：" + std::to_string(present) + "   失败个数：" + std::to_string(failed));
    return failed;
}

// A site of big pattern files, their hashes by name.
std::map<std::string, uint64_t> writeBigFiles(const TempFolder& folder, const std::string& under) {
    std::map<std::string, uint64_t> hashes;
    for (int i = 1; i <= kBatchFiles; ++i) {
        const std::string path = folder.file(under + nameOf(i));
        EXPECT_TRUE(writePatternFile(path, kBigFileBytes, static_cast<uint32_t>(i)));
        hashes[nameOf(i)] = fileHash(path);
    }
    return hashes;
}

// The client's stall limit for one test.
class StallLimit {
public:
    explicit StallLimit(int ms) : saved_(sessionTimeouts()) {
        FtpTimeouts t = saved_;
        t.stallMs = ms;
        t.replyMs = ms;
        setSessionTimeouts(t);
    }
    ~StallLimit() { setSessionTimeouts(saved_); }

private:
    FtpTimeouts saved_;
};

} // namespace

TEST(FaultRuns, ServerKilledDuringADownloadBatch) {
    TempFolder site;
    const auto hashes = writeBigFiles(site, "");
    PyFtpdServer server;
    ASSERT_TRUE(server.start(site.path()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.local.write(nameOf(kBatchFiles), "an older copy that must survive");
    c.select("远程文件框", batchNames());
    click(c, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return statusStartsWith(c, "正在下载：" + nameOf(2)); }, 30000));
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 60000));
    std::map<std::string, uint64_t> complete = hashes;
    // The older copy is either replaced whole or left as it was.
    const std::string last = c.local.file(nameOf(kBatchFiles));
    if (countLines(c, nameOf(kBatchFiles) + "    下载失败") == 1) {
        EXPECT_EQ(c.local.read(nameOf(kBatchFiles)), "an older copy that must survive");
        EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(last)));
        complete.erase(nameOf(kBatchFiles));
    }
    EXPECT_GE(checkDownloads(c, complete), 1);
    EXPECT_EQ(c.w().下载钮.caption(), "下载");
}

TEST(FaultRuns, ServerKilledDuringAnUploadBatch) {
    TempFolder site;
    PyFtpdServer server;
    ASSERT_TRUE(server.start(site.path()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    const auto hashes = writeBigFiles(c.local, "");
    listLocalDirectory();
    c.select("上传文件框", batchNames());
    click(c, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return statusStartsWith(c, "正在上传：" + nameOf(2)); }, 30000));
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return uploadEnded(c); }, 60000));
    int sent = 0, failed = 0;
    for (const auto& [name, hash] : hashes) {
        // Local files are only read, never touched.
        EXPECT_EQ(fileHash(c.local.file(name)), hash) << name;
        const bool ok = countLines(c, name + "”    上传成功") == 1;
        const bool fail = countLines(c, name + "    上传失败") == 1;
        EXPECT_NE(ok, fail) << name;
        if (ok) {
            EXPECT_EQ(fileHash(site.file(name)), hash) << name << " reported sent but not whole";
            ++sent;
        } else {
            ++failed;
        }
    }
    EXPECT_GE(failed, 1);
    if (sent > 0) {
        EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：" + std::to_string(sent) + "  失败数：" + std::to_string(failed));
    } else {
        EXPECT_EQ(c.w().状态条1.paneText(1), "上传失败");
    }
}

TEST(FaultRuns, ServerKilledDuringARecursiveDelete) {
    TempFolder site;
    std::vector<std::string> files;
    for (int d = 0; d < 10; ++d)
        for (int f = 0; f < 100; ++f) {
            const std::string relative = "tree/d" + std::to_string(d) + "/file" + std::to_string(f) + ".txt";
            site.write(relative, "content of " + relative);
            files.push_back(relative);
        }
    PyFtpdServer server;
    ASSERT_TRUE(server.start(site.path()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.select("远程文件框", {"tree"});
    c.h.form()->findChild<QAction*>("删除文件或目录(&S)")->trigger();
    ASSERT_TRUE(waitUntil([&] {
        for (const std::string& l : c.logLines())
            if (l.find("”文件成功") != std::string::npos)
                return true;
        return deleteEnded(c);
    }, 30000));
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return deleteEnded(c); }, 60000));
    // What the log calls deleted is gone; what is left is whole.
    int gone = 0, logged = 0;
    for (const std::string& relative : files) {
        const std::string line = "删除“/" + relative + "”文件成功";
        const bool saidGone = countLines(c, line) == 1;
        logged += saidGone;
        if (platform::pathExists(site.file(relative))) {
            EXPECT_EQ(site.read(relative), "content of " + relative);
        } else {
            ++gone;
        }
        if (saidGone) {
            EXPECT_FALSE(platform::pathExists(site.file(relative))) << relative;
        }
    }
    EXPECT_GT(gone, 0);
    EXPECT_LT(gone, static_cast<int>(files.size()));
    EXPECT_GE(gone, logged);
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：" + std::to_string(logged) + "个");
    EXPECT_GE(c.w().远程文件框.findItem("tree"), 0);  // not all gone: the row stays
}

TEST(FaultRuns, ServerThatStopsSendingIsEndedByTheStallLimit) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 2000000 Jan 01 2024 stuck.bin\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 next.txt\r\n");
    server.setFile("/next.txt", "after");
    server.on("RETR", [&](ScriptedSession& s, const std::string& name) {
        s.reply("150 ok");
        s.openData();
        if (name == "/next.txt") {
            s.sendData("after");
            s.closeData();
            s.reply("226 done");
            return;
        }
        s.sendData(std::string(1000000, 's'));
        s.waitForClientClose(30000);  // neither more data nor a reply
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    StallLimit limit(1000);
    c.local.write("stuck.bin", "keep me");
    c.select("远程文件框", {"stuck.bin", "next.txt"});
    click(c, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 30000));
    EXPECT_EQ(c.local.read("stuck.bin"), "keep me");
    EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(c.local.file("stuck.bin"))));
    EXPECT_EQ(countLines(c, "stuck.bin    下载失败"), 1);
    // Whatever happened to the second file, the log and the disk agree (a
    // batch without success repeats its last failure as the closing line).
    const bool nextThere = platform::pathExists(c.local.file("next.txt"));
    if (nextThere) {
        EXPECT_EQ(c.local.read("next.txt"), "after");
    }
    EXPECT_EQ(countLines(c, nextThere ? "next.txt    下载成功" : "next.txt    下载失败"), nextThere ? 1 : 2);
    EXPECT_EQ(c.w().状态条1.paneText(2), std::string("下载个数：") + (nextThere ? "1" : "0") +
                                             "   失败个数：" + (nextThere ? "1" : "2"));
}

TEST(FaultRuns, ServerThatStopsReadingIsEndedByTheStallLimit) {
    ScriptedFtpServer server;
    server.on("STOR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 send it");
        s.openData();
        s.waitForClientClose(30000);  // reads nothing
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    StallLimit limit(1000);
    ASSERT_TRUE(writePatternFile(c.local.file("big.bin"), 64 * 1024 * 1024));
    const uint64_t hash = fileHash(c.local.file("big.bin"));
    listLocalDirectory();
    c.select("上传文件框", {"big.bin"});
    click(c, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return uploadEnded(c); }, 30000));
    EXPECT_EQ(countLines(c, "big.bin    上传失败"), 1);
    EXPECT_EQ(c.w().状态条1.paneText(1), "上传失败");
    EXPECT_EQ(fileHash(c.local.file("big.bin")), hash);
}

TEST(FaultRuns, ConnectionDroppedBetweenTwoFiles) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 b.txt\r\n");
    server.on("RETR", [](ScriptedSession& s, const std::string& name) {
        s.reply("150 ok");
        s.openData();
        s.sendData(name == "/a.txt" ? "aaaaa" : "bbbbb");
        s.closeData();
        s.reply("226 done");
        if (name == "/a.txt")
            s.close();  // gone before the next command
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.local.write("b.txt", "older b");
    c.select("远程文件框", {"a.txt", "b.txt"});
    click(c, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 30000));
    EXPECT_EQ(c.local.read("a.txt"), "aaaaa");
    EXPECT_EQ(countLines(c, "a.txt    下载成功"), 1);
    const std::string b = c.local.read("b.txt");
    EXPECT_TRUE(b == "older b" || b == "bbbbb") << b;
    EXPECT_EQ(countLines(c, b == "bbbbb" ? "b.txt    下载成功" : "b.txt    下载失败"), 1);
    EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(c.local.file("b.txt"))));
}

// The disk fills during a download: a file-size limit on this process makes
// writes past 1 MB fail as they would on a full disk.
TEST(FaultRuns, DiskFullDuringADownload) {
    TempFolder site;
    ASSERT_TRUE(writePatternFile(site.file("big.bin"), 3 * 1024 * 1024));
    site.write("small.txt", "small");
    PyFtpdServer server;
    ASSERT_TRUE(server.start(site.path()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.local.write("big.bin", "the old big file");
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1024 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    c.select("远程文件框", {"big.bin", "small.txt"});
    click(c, "下载钮");
    const bool ended = waitUntil([&] { return downloadEnded(c); }, 30000);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
    ASSERT_TRUE(ended);
    EXPECT_EQ(c.local.read("big.bin"), "the old big file");
    EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(c.local.file("big.bin"))));
    EXPECT_EQ(countLines(c, "big.bin    下载失败"), 1);
    EXPECT_EQ(c.local.read("small.txt"), "small");
    EXPECT_EQ(countLines(c, "small.txt    下载成功"), 1);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：1   失败个数：1");
}

TEST(FaultRuns, WindowClosedDuringADownloadBatch) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 5 Jan 01 2024 a.txt\r\n"
                      "-rw-r--r-- 1 u g 2000000 Jan 01 2024 slow.bin\r\n"
                      "-rw-r--r-- 1 u g 5 Jan 01 2024 c.txt\r\n");
    server.setFile("/a.txt", "aaaaa");
    server.setFile("/c.txt", "ccccc");
    server.on("RETR", [](ScriptedSession& s, const std::string& name) {
        s.reply("150 ok");
        s.openData();
        if (name != "/slow.bin") {
            s.sendData(name == "/a.txt" ? "aaaaa" : "ccccc");
            s.closeData();
            s.reply("226 done");
            return;
        }
        s.sendData(std::string(1000, 's'));
        s.waitForClientClose(30000);
    });
    ASSERT_TRUE(server.start());
    auto c = std::make_unique<ConnectedWindow>(server.port(), "u", "p");
    const std::string local = c->local.path();
    c->local.write("slow.bin", "old slow");
    c->select("远程文件框", {"a.txt", "slow.bin", "c.txt"});
    click(*c, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return statusStartsWith(*c, "正在下载：slow.bin"); }));
    c->h.close();
    EXPECT_EQ(runningWorkers(), 0);
    EXPECT_EQ(readFileBytes(local + "/a.txt"), "aaaaa");
    EXPECT_EQ(readFileBytes(local + "/slow.bin"), "old slow");
    EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(local + "/slow.bin")));
    EXPECT_FALSE(platform::pathExists(local + "/c.txt"));
}

TEST(FaultRuns, WindowClosedDuringAnUploadBatch) {
    ScriptedFtpServer server;
    server.on("STOR", [](ScriptedSession& s, const std::string& name) {
        s.reply("150 send it");
        s.openData();
        if (name == "/slow.bin") {
            s.waitForClientClose(30000);
            return;
        }
        s.receiveData();
        s.closeData();
        s.reply("226 stored");
    });
    ASSERT_TRUE(server.start());
    auto c = std::make_unique<ConnectedWindow>(server.port(), "u", "p");
    ASSERT_TRUE(writePatternFile(c->local.file("slow.bin"), 32 * 1024 * 1024));
    const uint64_t hash = fileHash(c->local.file("slow.bin"));
    c->local.write("z.txt", "z");
    listLocalDirectory();
    c->select("上传文件框", {"slow.bin", "z.txt"});
    click(*c, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return statusStartsWith(*c, "正在上传：slow.bin"); }));
    const std::string local = c->local.path();
    c->h.close();
    EXPECT_EQ(runningWorkers(), 0);
    EXPECT_EQ(fileHash(local + "/slow.bin"), hash);
    EXPECT_TRUE(server.upload("/z.txt").empty());  // the batch did not go on
}

TEST(FaultRuns, WindowClosedDuringARecursiveDelete) {
    // Declared before the server: its thread may still be answering a DELE
    // sent just before the close, until the server is destroyed.
    std::mutex mutex;
    std::set<std::string> deleted;
    ScriptedFtpServer server;
    std::string listing;
    for (int i = 0; i < 50; ++i)
        listing += "-rw-r--r-- 1 u g 1 Jan 01 2024 f" + std::to_string(i) + ".txt\r\n";
    server.on("LIST", [listing](ScriptedSession& s, const std::string& path) {
        s.reply("150 here");
        s.openData();
        s.sendData(path.find("tree") == std::string::npos ? "drwxr-xr-x 1 u g 0 Jan 01 2024 tree\r\n" : listing);
        s.closeData();
        s.reply("226 done");
    });
    server.on("DELE", [&](ScriptedSession& s, const std::string& path) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        {
            std::lock_guard<std::mutex> lock(mutex);
            deleted.insert(path);
        }
        s.reply("250 deleted");
    });
    ASSERT_TRUE(server.start());
    auto c = std::make_unique<ConnectedWindow>(server.port(), "u", "p");
    ASSERT_GE(c->w().远程文件框.findItem("tree"), 0);
    c->select("远程文件框", {"tree"});
    c->h.form()->findChild<QAction*>("删除文件或目录(&S)")->trigger();
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return deleted.size() >= 3;
    }));
    c->h.close();
    EXPECT_EQ(runningWorkers(), 0);
    std::lock_guard<std::mutex> lock(mutex);
    // The batch stopped with the window instead of walking on.
    EXPECT_LT(deleted.size(), 50u);
    EXPECT_FALSE(server.received("RMD"));
}
