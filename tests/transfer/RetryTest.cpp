// Batches that survive the network, through the real main window: transfers
// cut by pyftpdlib and by the scripted server are retried, continued where
// that is safe, and logged; refusals are not retried; 停止, 断开 and closing
// the window end a waiting retry at once.
#include "app/state/WorkerThreads.h"
#include "fileops/RemoteDelete.h"
#include "ftp/PartialFile.h"
#include "ftp/ResumeRecords.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Download.h"
#include "transfer/Retry.h"
#include "transfer/Upload.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Large enough that the engine keeps the partial of a cut download.
const std::string kBig = patternBytes(3 * 1024 * 1024 + 77);

bool batchEnded(ConnectedWindow& c) {
    return c.w().下载钮.caption() == "下载" && c.w().上传钮.caption() == "上传" && runningWorkers() == 0;
}

// The log from the first line that starts with the text on.
std::vector<std::string> linesFrom(ConnectedWindow& c, const std::string& start) {
    std::vector<std::string> lines = c.logLines();
    lines.erase(lines.begin(), std::find_if(lines.begin(), lines.end(),
                                            [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
    return lines;
}

// Chooses the rows, clicks 下载 and waits for the batch's end.
bool downloadChosen(ConnectedWindow& c, const std::vector<std::string>& names) {
    c.select("远程文件框", names);
    downloadButton();
    return waitUntil([&] { return batchEnded(c); }, 60000);
}

int retryLines(ConnectedWindow& c) {
    int n = 0;
    for (const std::string& line : c.logLines())
        n += line.find("次重试") != std::string::npos;
    return n;
}

// The offset of the "REST n" right before the last such command in the
// server's log; -1 when there is none.
long long restBefore(const std::string& log, const std::string& command) {
    const std::size_t at = log.rfind("\n" + command + "\n");
    if (at == std::string::npos)
        return -1;
    const std::size_t start = log.rfind('\n', at - 1);
    const std::string line = log.substr(start == std::string::npos ? 0 : start + 1, at - start - 1);
    return line.rfind("REST ", 0) == 0 ? std::stoll(line.substr(5)) : -1;
}

// pyftpdlib that cuts its first transfer halfway, logging every command.
class CutServer {
public:
    explicit CutServer(bool upload) {
        PyFtpdFaults faults;
        (upload ? faults.cutUploadAt : faults.cutDownloadAt) = static_cast<long long>(kBig.size() / 2);
        faults.commandLog = logs.file("commands.log");
        if (!upload)
            site.write("big.bin", kBig);
        started = server.startWithFaults(site.path(), faults);
    }
    std::string log() const { return readFileBytes(logs.file("commands.log")); }

    TempFolder site, logs;
    PyFtpdServer server;
    bool started = false;
};

// The offset the server was told to continue the command's transfer from;
// expected inside the file.
long long continuedAt(const CutServer& cut, const std::string& command) {
    const long long offset = restBefore(cut.log(), command);
    EXPECT_GT(offset, 0) << cut.log();
    EXPECT_LT(offset, static_cast<long long>(kBig.size()));
    return offset;
}

} // namespace

TEST(TransferRetries, ADownloadCutHalfwayIsContinuedWithinTheBatch) {
    CutServer cut(false);
    ASSERT_TRUE(cut.started);
    ConnectedWindow c(cut.server.port(), kPyFtpdUser, kPyFtpdPassword);
    // Someone else's partial of the same name: never continued nor touched.
    const std::string foreign = kBig.substr(0, kBig.size() / 3);
    c.local.write("big.bin.part", foreign);
    struct stat before {};
    ASSERT_EQ(::stat(c.local.file("big.bin.part").c_str(), &before), 0);
    ASSERT_TRUE(downloadChosen(c, {"big.bin"}));
    EXPECT_EQ(c.local.read("big.bin"), kBig);
    EXPECT_EQ(linesFrom(c, "big.bin"), (std::vector<std::string>{"big.bin    第1次重试", "big.bin    下载成功"}));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：1   失败个数：0");
    // Continued from our own partial, which the cut left at some length
    // other than the foreign one's.
    const long long offset = continuedAt(cut, "RETR /big.bin");
    EXPECT_NE(offset, static_cast<long long>(foreign.size()));
    EXPECT_EQ(c.local.read("big.bin.part"), foreign);
    struct stat after {};
    ASSERT_EQ(::stat(c.local.file("big.bin.part").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    // Nothing of ours is left: no partial, no record.
    EXPECT_FALSE(platform::pathExists(c.local.file("big.bin.1.part")));
    EXPECT_TRUE(ftp::ResumeRecords(c.h.folder().path()).all().empty());
}

// The file changes on the server between the cut and the retry: the retry
// starts over, so the result is the new file whole, never the old one's
// first half with the new one's rest.
TEST(TransferRetries, AFileChangedSinceTheCutIsFetchedWhole) {
    ScriptedFtpServer server;
    const std::string oldBytes = patternBytes(2 * 1024 * 1024, 1);
    const std::string newBytes = patternBytes(2 * 1024 * 1024, 2);
    server.setFeatures({"SIZE", "MDTM", "REST STREAM"});
    server.setListing("-rw-r--r-- 1 u g 2097152 Jan 01 2024 big.bin\r\n");
    server.setFile("/big.bin", oldBytes);
    server.setFileTime("/big.bin", "20240101000000");
    std::atomic<int> sent{0};
    server.on("RETR", [&](ScriptedSession& s, const std::string& name) {
        if (sent++ > 0) {
            server.serveFile(s, name);
            return;
        }
        s.reply("150 ok");
        s.openData();
        s.sendData(oldBytes.substr(0, oldBytes.size() / 2));
        server.setFile("/big.bin", newBytes);  // same size, a later time
        server.setFileTime("/big.bin", "20240102000000");
        s.cutData();
        s.reply("426 connection lost");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_TRUE(downloadChosen(c, {"big.bin"}));
    EXPECT_EQ(c.local.read("big.bin"), newBytes);
    EXPECT_EQ(linesFrom(c, "big.bin"), (std::vector<std::string>{"big.bin    第1次重试", "big.bin    下载成功"}));
    EXPECT_EQ(sent, 2);
    for (const std::string& command : server.commands())
        EXPECT_NE(command.rfind("REST", 0), 0u) << command;
    EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(c.local.file("big.bin"))));
}

TEST(TransferRetries, AnUploadCutHalfwayGoesOnFromWhatTheServerKept) {
    CutServer cut(true);
    ASSERT_TRUE(cut.started);
    ConnectedWindow c(cut.server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.local.write("up.bin", kBig);
    listLocalDirectory();
    c.select("上传文件框", {"up.bin"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }, 60000));
    EXPECT_EQ(cut.site.read("up.bin"), kBig);
    EXPECT_EQ(linesFrom(c, "up.bin"), (std::vector<std::string>{"up.bin    第1次重试", "up.bin”    上传成功"}));
    EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：1  失败数：0");
    continuedAt(cut, "STOR /up.bin");
}

namespace {

// The scripted server drops the control connection in the middle of a
// 20-file batch: on the tenth file's first RETR (downloads), or at one MKD
// and one STOR (a folder upload).
constexpr int kFiles = 20;

std::string numbered(int i) {
    return std::string("f") + (i < 10 ? "0" : "") + std::to_string(i) + ".txt";
}

std::string contentOf(int i) {
    return "content of file " + std::to_string(i);
}

} // namespace

TEST(TransferRetries, AControlConnectionDroppedMidBatchLosesNoFile) {
    ScriptedFtpServer server;
    std::string listing;
    for (int i = 1; i <= kFiles; ++i) {
        listing += "-rw-r--r-- 1 u g " + std::to_string(contentOf(i).size()) + " Jan 01 2024 " + numbered(i) + "\r\n";
        server.setFile("/" + numbered(i), contentOf(i));
    }
    server.setListing(listing);
    std::atomic<bool> dropped{false};
    server.on("RETR", [&](ScriptedSession& s, const std::string& name) {
        if (name == "/" + numbered(10) && !dropped.exchange(true)) {
            s.reply("150 ok");
            s.openData();
            s.sendData("cont");
            s.close();
            return;
        }
        server.serveFile(s, name);
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    std::vector<std::string> names;
    for (int i = 1; i <= kFiles; ++i)
        names.push_back(numbered(i));
    ASSERT_TRUE(downloadChosen(c, names));
    for (int i = 1; i <= kFiles; ++i) {
        EXPECT_EQ(c.local.read(numbered(i)), contentOf(i)) << i;
        EXPECT_TRUE(c.logHas(numbered(i) + "    下载成功")) << i;
    }
    EXPECT_EQ(retryLines(c), 1);
    EXPECT_TRUE(c.logHas(numbered(10) + "    第1次重试"));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：20   失败个数：0");
    EXPECT_EQ(c.w().状态条1.paneText(1), "下载完毕");
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(server.connections(), 2);
}

TEST(TransferRetries, AFolderUploadWhoseConnectionDropsAtAnMkdAndAStorSendsEverything) {
    ScriptedFtpServer server;
    std::mutex foldersMutex;
    std::set<std::string> folders{"/"};
    auto exists = [&](const std::string& path) {
        std::lock_guard<std::mutex> lock(foldersMutex);
        return folders.count(path) > 0;
    };
    server.on("CWD", [&](ScriptedSession& s, const std::string& path) {
        s.reply(exists(path) ? "250 ok" : "550 no such folder");
    });
    std::atomic<bool> mkdDropped{false}, storDropped{false};
    server.on("MKD", [&](ScriptedSession& s, const std::string& path) {
        if (path == "/tree/b" && !mkdDropped.exchange(true)) {
            s.close();
            return;
        }
        std::lock_guard<std::mutex> lock(foldersMutex);
        folders.insert(path);
        s.reply("257 \"" + path + "\" created");
    });
    server.on("STOR", [&](ScriptedSession& s, const std::string& name) {
        if (name == "/tree/b/" + numbered(15) && !storDropped.exchange(true)) {
            s.reply("150 send it");
            s.openData();
            s.close();
            return;
        }
        server.storeFile(s, name, false);
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    for (int i = 1; i <= kFiles; ++i)
        c.local.write(std::string("tree/") + (i <= 10 ? "a/" : "b/") + numbered(i), contentOf(i));
    listLocalDirectory();
    c.select("上传文件框", {"tree"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }, 60000));
    for (int i = 1; i <= kFiles; ++i)
        EXPECT_EQ(server.upload(std::string("/tree/") + (i <= 10 ? "a/" : "b/") + numbered(i)), contentOf(i)) << i;
    EXPECT_TRUE(c.logHas("创建目录“/tree/b”    第1次重试"));
    EXPECT_TRUE(c.logHas(numbered(15) + "    第1次重试"));
    EXPECT_EQ(retryLines(c), 2);
    EXPECT_FALSE(c.logHas("创建目录“/tree/b”失败"));
    EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：20  失败数：0");
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
}

// The ways in other than the download button retry their files too: the
// double-click's single file (its path: downloadOne alone), 全部下载 and
// 另存为. The server cuts every other RETR of each file.
TEST(TransferRetries, EveryWayOfDownloadingRetriesItsFile) {
    ScriptedFtpServer server;
    const std::vector<std::string> names{"a.txt", "b.txt", "c.txt"};
    std::string listing;
    for (const std::string& name : names) {
        listing += "-rw-r--r-- 1 u g 6 Jan 01 2024 " + name + "\r\n";
        server.setFile("/" + name, "bytes" + name.substr(0, 1));
    }
    server.setListing(listing);
    std::mutex triesMutex;
    std::map<std::string, int> tries;
    server.on("RETR", [&](ScriptedSession& s, const std::string& name) {
        int n = 0;
        {
            std::lock_guard<std::mutex> lock(triesMutex);
            n = tries[name]++;
        }
        if (n % 2 == 1) {
            server.serveFile(s, name);
            return;
        }
        s.reply("150 ok");
        s.openData();
        s.sendData("byt");
        s.cutData();
        s.reply("426 connection lost");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_EQ(c.w().远程文件框.itemCount(), 3);

    // The double-click's download, which has no batch around it.
    const BatchSnapshot one = remoteSnapshot({c.w().远程文件框.findItem("a.txt")});
    startWorker([&one] { downloadOne(one.rows.front(), one); });
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }, 30000));
    EXPECT_EQ(linesFrom(c, "a.txt"), (std::vector<std::string>{"a.txt    第1次重试", "a.txt    下载成功"}));
    EXPECT_EQ(c.local.read("a.txt"), "bytesa");

    c.w().消息框.setText(std::string());
    downloadAllCommand();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }, 30000));
    EXPECT_EQ(c.logLines(), (std::vector<std::string>{"a.txt    第1次重试", "a.txt    下载成功", "b.txt    第1次重试",
                                                      "b.txt    下载成功", "c.txt    第1次重试", "c.txt    下载成功"}));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数:3失败个数:0");

    TempFolder chosen;
    DialogAnswerer answers;
    answers.queueFolder(chosen.path());
    c.w().消息框.setText(std::string());
    c.select("远程文件框", {"b.txt"});
    c.h.form()->findChild<QAction*>("另存为(&L)")->trigger();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }, 30000));
    EXPECT_EQ(c.logLines(), (std::vector<std::string>{"b.txt    第1次重试", "b.txt    下载成功"}));
    EXPECT_EQ(chosen.read("b.txt"), "bytesb");
}

// A download whose retries are all cut keeps its partial, recorded in the
// settings folder; the user's next download of it goes on from there.
TEST(TransferRetries, TheNextDownloadContinuesWhereTheLastRetryStopped) {
    ScriptedFtpServer server;
    const std::string bytes = patternBytes(2 * 1024 * 1024 + 5, 3);
    server.setFeatures({"SIZE", "MDTM", "REST STREAM"});
    server.setListing("-rw-r--r-- 1 u g " + std::to_string(bytes.size()) + " Jan 01 2024 big.bin\r\n");
    server.setFile("/big.bin", bytes);
    server.setFileTime("/big.bin", "20240101000000");
    std::atomic<int> sent{0};
    std::atomic<long long> lastRestart{0};
    server.on("RETR", [&](ScriptedSession& s, const std::string&) {
        const long long from = s.takeRestart();
        lastRestart = from;
        if (sent++ >= 4) {
            s.reply("150 ok");
            s.openData();
            s.sendData(bytes.substr(static_cast<std::size_t>(from)));
            s.closeData();
            s.reply("226 done");
            return;
        }
        // Each of the first four attempts gets another 256 KiB through.
        s.reply("150 ok");
        s.openData();
        s.sendData(bytes.substr(static_cast<std::size_t>(from), 256 * 1024));
        s.cutData();
        s.reply("426 connection lost");
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_TRUE(downloadChosen(c, {"big.bin"}));
    EXPECT_TRUE(c.logHas("big.bin    第3次重试"));
    EXPECT_TRUE(c.logHas("big.bin    下载失败"));
    EXPECT_EQ(sent, 4);
    EXPECT_FALSE(platform::pathExists(c.local.file("big.bin")));
    EXPECT_EQ(ftp::ResumeRecords(c.h.folder().path()).all().size(), 1u);

    c.w().消息框.setText(std::string());
    ASSERT_TRUE(downloadChosen(c, {"big.bin"}));
    EXPECT_EQ(c.logLines(), (std::vector<std::string>{"big.bin    下载成功"}));
    EXPECT_EQ(lastRestart, 4 * 256 * 1024);
    EXPECT_EQ(c.local.read("big.bin"), bytes);
    EXPECT_TRUE(ftp::ResumeRecords(c.h.folder().path()).all().empty());
}

// The server goes away for good in the middle of a batch: the file it
// went away on spends its retries, each trying to connect again; the files
// after it fail at once, without retries of their own, and pane 0 says the
// connection failed.
TEST(TransferRetries, AServerThatStaysGoneFailsTheRestOfTheBatchAtOnce) {
    ScriptedFtpServer server;
    const std::vector<std::string> names{"a.txt", "b.txt", "c.txt", "d.txt"};
    std::string listing;
    for (const std::string& name : names) {
        listing += "-rw-r--r-- 1 u g 1 Jan 01 2024 " + name + "\r\n";
        server.setFile("/" + name, name.substr(0, 1));
    }
    server.setListing(listing);
    server.on("RETR", [&server](ScriptedSession& s, const std::string& name) {
        if (name != "/b.txt") {
            server.serveFile(s, name);
            return;
        }
        // Every connection from now on is turned away at once.
        server.setGreeting("421 Service not available, closing control connection\r\n");
        s.close();
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_TRUE(downloadChosen(c, names));
    EXPECT_EQ(linesFrom(c, "a.txt"),
              (std::vector<std::string>{"a.txt    下载成功", "b.txt    第1次重试", "b.txt    第2次重试", "b.txt    第3次重试",
                                        "b.txt    下载失败", "c.txt    下载失败", "d.txt    下载失败"}));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：1   失败个数：3");
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_EQ(server.connections(), 1 + 3);  // the connect and one reconnect per retry
    EXPECT_EQ(c.local.read("a.txt"), "a");
}

// Refusals would be refused again: one try, no retry line.
TEST(TransferRetries, PermanentRefusalsAreNotRetried) {
    ScriptedFtpServer server;
    server.setListing("-rw-r--r-- 1 u g 4 Jan 01 2024 gone.txt\r\n"
                      "-rw-r--r-- 1 u g 4 Jan 01 2024 kept.txt\r\n");
    server.setFile("/kept.txt", "kept");  // gone.txt: RETR answers 550
    server.on("STOR", [](ScriptedSession& s, const std::string&) { s.reply("553 not allowed"); });
    server.on("DELE", [](ScriptedSession& s, const std::string&) { s.reply("550 permission denied"); });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    c.select("远程文件框", {"gone.txt", "kept.txt"});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_TRUE(c.logHas("gone.txt    下载失败"));
    EXPECT_EQ(c.local.read("kept.txt"), "kept");

    c.local.write("up.txt", "up");
    listLocalDirectory();
    c.select("上传文件框", {"up.txt"});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(c); }));
    EXPECT_TRUE(c.logHas("up.txt    上传失败"));

    c.select("远程文件框", {"kept.txt"});
    deleteRemoteCommand();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0; }));
    EXPECT_TRUE(c.logHas("删除“kept.txt”失败"));

    EXPECT_EQ(retryLines(c), 0);
    int tries = 0;
    for (const std::string& command : server.commands())
        tries += command == "RETR /gone.txt" || command == "STOR /up.txt" || command == "DELE /kept.txt";
    EXPECT_EQ(tries, 3);
}

namespace {

// A download cut halfway whose retry waits a minute: the test acts during
// that wait.
class WaitingRetry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cut.started);
        c = std::make_unique<ConnectedWindow>(cut.server.port(), kPyFtpdUser, kPyFtpdPassword);
        setBatchRetrySchedule(RetrySchedule{{60000, 60000, 60000}});
        c->select("远程文件框", {"big.bin"});
        downloadButton();
        ASSERT_TRUE(waitUntil([&] { return c->logHas("big.bin    第1次重试"); }, 30000));
    }

    CutServer cut{false};
    std::unique_ptr<ConnectedWindow> c;
};

} // namespace

TEST_F(WaitingRetry, StopEndsItAtOnce) {
    QTest::mouseClick(c->h.form()->findChild<QPushButton*>("下载钮"), Qt::LeftButton);  // "停止"
    ASSERT_TRUE(waitUntil([&] { return batchEnded(*c); }, 20000));
    // The file's own line, then the batch's closing line of a batch that
    // downloaded nothing.
    EXPECT_EQ(linesFrom(*c, "big.bin"), (std::vector<std::string>{"big.bin    第1次重试", "big.bin    下载失败",
                                                                  "big.bin    下载失败"}));
    EXPECT_EQ(c->w().状态条1.paneText(2), "下载个数：0   失败个数：1");
}

TEST_F(WaitingRetry, DisconnectEndsIt) {
    disconnectServer();
    ASSERT_TRUE(waitUntil([&] { return batchEnded(*c); }, 20000));
    EXPECT_TRUE(c->logHas("big.bin    下载失败"));
    EXPECT_EQ(c->w().状态条1.paneText(0), "已断开服务器");
}

TEST_F(WaitingRetry, ClosingTheWindowEndsIt) {
    c->h.close();  // waits for the workers, 3 s at most
    EXPECT_EQ(runningWorkers(), 0);
}
