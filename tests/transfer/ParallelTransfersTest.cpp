// Batches that move several files at once, each on a connection of its own,
// against real servers that count and limit connections.
#include "app/state/AppState.h"
#include "fileops/RemoteDelete.h"
#include "fileops/RemoteEdits.h"
#include "app/MainWindowHandlers.h"
#include "app/state/Settings.h"
#include "ftp/PartialFile.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "ftp/handlers/ConnectionState.h"
#include "ftp/handlers/RemoteListing.h"
#include "ftp/handlers/TransferPool.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Download.h"
#include "transfer/Upload.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;

namespace {

std::string contentOf(int i) {
    return std::string(static_cast<std::size_t>(1000 + 37 * i), static_cast<char>('a' + i % 26)) +
           std::to_string(i);
}

std::string fileName(int i) {
    return "f" + std::to_string(1000 + i).substr(1) + ".dat";
}

std::vector<std::string> logLinesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// "PORT COMMAND ARG" lines: the client ports that sent the verb.
std::set<std::string> portsSending(const std::vector<std::string>& lines, const std::string& verb) {
    std::set<std::string> ports;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string port, command;
        words >> port >> command;
        if (command == verb)
            ports.insert(port);
    }
    return ports;
}

// How many times the verb was sent, over every connection.
int commandsSent(const std::vector<std::string>& lines, const std::string& verb) {
    int count = 0;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string port, command;
        words >> port >> command;
        count += command == verb;
    }
    return count;
}

int linesEndingWith(const std::vector<std::string>& lines, const std::string& end) {
    int count = 0;
    for (const std::string& line : lines)
        if (line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0)
            ++count;
    return count;
}

bool downloadEnded(ConnectedWindow& c) {
    return c.w().下载钮.caption() == "下载" && runningWorkers() == 0;
}

bool uploadEnded(ConnectedWindow& c) {
    return c.w().上传钮.caption() == "上传" && runningWorkers() == 0;
}

std::vector<std::string> allRows(ConnectedWindow& c) {
    std::vector<std::string> names;
    for (int i = 0; i < c.w().远程文件框.itemCount(); ++i)
        names.push_back(c.w().远程文件框.itemText(i, 0));
    return names;
}

void clickDownload(ConnectedWindow& c) {
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>("下载钮"), Qt::LeftButton);
}

void clickUpload(ConnectedWindow& c) {
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>("上传钮"), Qt::LeftButton);
}

// Several sessions at once in active mode stall this pyftpdlib; the
// window falls back to passive mode at once when PORT is refused.
PyFtpdFaults passiveServer() {
    PyFtpdFaults faults;
    faults.passiveOnly = true;
    return faults;
}

// Every row of the remote list, downloaded to its end.
bool downloadEveryRow(ConnectedWindow& c) {
    c.select("远程文件框", allRows(c));
    clickDownload(c);
    return waitUntil([&] { return downloadEnded(c); }, 60000);
}

void expectServedFiles(ConnectedWindow& c, int count) {
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(c.local.read(fileName(i)), contentOf(i)) << fileName(i);
}

struct Site {
    TempFolder root;
    std::string commands = root.file("commands.log");
};

// A passive-only server that logs every command of the site's with the
// client's port.
PyFtpdFaults loggingServer(const Site& site) {
    PyFtpdFaults faults = passiveServer();
    faults.commandLog = site.commands;
    faults.logPorts = true;
    return faults;
}

// A pyftpdlib serving count files, its commands logged with the client's
// port, and a window on it that moves that many files at once; c stays
// null when the server did not start.
struct ServedFiles {
    ServedFiles(int count, const std::string& transfers, PyFtpdFaults faults = passiveServer()) {
        site.root.makeFolder("pub");
        for (int i = 0; i < count; ++i)
            site.root.write("pub/" + fileName(i), contentOf(i));
        faults.commandLog = site.commands;
        faults.logPorts = true;
        if (!server.startWithFaults(site.root.path() + "/pub", faults))
            return;
        c = std::make_unique<ConnectedWindow>(server.port(), kPyFtpdUser, kPyFtpdPassword);
        c->h.writeSetting(kTransferConnectionsSetting, transfers);
    }

    Site site;
    PyFtpdServer server;
    std::unique_ptr<ConnectedWindow> c;
};

} // namespace

TEST(ParallelTransfers, AHundredFilesArriveWholeOverThreeConnections) {
    ServedFiles served(100, "3");
    ASSERT_TRUE(served.c);
    Site& site = served.site;
    ConnectedWindow& c = *served.c;
    ASSERT_EQ(c.w().远程文件框.itemCount(), 100);
    ASSERT_TRUE(downloadEveryRow(c));

    expectServedFiles(c, 100);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：100   失败个数：0");
    EXPECT_EQ(c.w().状态条1.paneText(1), "下载完毕");
    EXPECT_EQ(linesEndingWith(c.logLines(), "    下载成功"), 100);
    EXPECT_EQ(c.w().上传文件框.itemCount(), 100);
    // Three connections of their own moved the files; the browsing one
    // listed the folder and moved none.
    const std::vector<std::string> lines = logLinesOf(site.commands);
    const std::set<std::string> transferring = portsSending(lines, "RETR");
    EXPECT_EQ(transferring.size(), 3u);
    for (const std::string& port : portsSending(lines, "MLSD"))
        EXPECT_EQ(transferring.count(port), 0u) << "the browsing connection transferred";
    EXPECT_LE(transferConnectionsOpen(currentSession()), 3);
}

TEST(ParallelTransfers, OneAtATimeUsesTheBrowsingConnectionAsBefore) {
    ServedFiles served(5, "1");
    ASSERT_TRUE(served.c);
    Site& site = served.site;
    ConnectedWindow& c = *served.c;
    c.select("远程文件框", allRows(c));
    clickDownload(c);
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 30000));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：5   失败个数：0");
    const std::vector<std::string> lines = logLinesOf(site.commands);
    EXPECT_EQ(portsSending(lines, "USER").size(), 1u);
    EXPECT_EQ(portsSending(lines, "RETR"), portsSending(lines, "MLSD"));
}

TEST(ParallelTransfers, ADroppedTransferConnectionIsMadeAgainAndTheFileRetried) {
    PyFtpdFaults faults = passiveServer();
    faults.dropRetr = 7;
    ServedFiles served(20, "3", faults);
    ASSERT_TRUE(served.c);
    Site& site = served.site;
    ConnectedWindow& c = *served.c;
    ASSERT_TRUE(downloadEveryRow(c));
    expectServedFiles(c, 20);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：20   失败个数：0");
    EXPECT_EQ(linesEndingWith(c.logLines(), "    第1次重试"), 1);
    // The dropped one was replaced by a new connection.
    EXPECT_EQ(portsSending(logLinesOf(site.commands), "RETR").size(), 4u);
}

TEST(ParallelTransfers, AServerAllowingTwoConnectionsPerAddressGetsEveryFile) {
    PyFtpdFaults faults = passiveServer();
    faults.maxConnections = 2;
    ServedFiles served(30, "3", faults);
    ASSERT_TRUE(served.c);
    Site& site = served.site;
    ConnectedWindow& c = *served.c;
    ASSERT_TRUE(downloadEveryRow(c));
    expectServedFiles(c, 30);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：30   失败个数：0");
    EXPECT_EQ(linesEndingWith(c.logLines(), "下载失败"), 0);
    // The server let in one connection beside the browsing one, and the
    // count for it came down to that.
    EXPECT_EQ(transferConnectionLimit(currentSession()), 1);
    EXPECT_EQ(portsSending(logLinesOf(site.commands), "RETR").size(), 1u);
    // The next batch keeps to the one transfer connection the server took,
    // leaving the browsing one free.
    ASSERT_TRUE(downloadEveryRow(c));
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：30   失败个数：0");
    const std::vector<std::string> lines = logLinesOf(site.commands);
    EXPECT_EQ(portsSending(lines, "RETR").size(), 1u);
    for (const std::string& port : portsSending(lines, "MLSD"))
        EXPECT_EQ(portsSending(lines, "RETR").count(port), 0u);
    // Once the refusal is old enough, the full count is tried again.
    setTransferPoolTimes({60 * 1000, 0});
    EXPECT_EQ(transferConnectionLimit(currentSession()), 3);
    setTransferPoolTimes({});
}

TEST(ParallelTransfers, IdleTransferConnectionsAreKeptForTheNextBatchThenClosed) {
    ServedFiles served(9, "3");
    ASSERT_TRUE(served.c);
    Site& site = served.site;
    ConnectedWindow& c = *served.c;
    for (int round = 0; round < 2; ++round) {
        c.select("远程文件框", allRows(c));
        clickDownload(c);
        ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 60000));
        EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：9   失败个数：0");
    }
    // The second batch logged in nowhere new.
    EXPECT_EQ(portsSending(logLinesOf(site.commands), "USER").size(), 4u);
    EXPECT_EQ(transferConnectionsOpen(currentSession()), 3);
    closeIdleTransferConnections();
    EXPECT_EQ(transferConnectionsOpen(currentSession()), 3);
    setTransferPoolTimes({0, 5 * 60 * 1000});
    closeIdleTransferConnections();
    setTransferPoolTimes({});
    EXPECT_EQ(transferConnectionsOpen(currentSession()), 0);
    ASSERT_TRUE(waitUntil([&] { return linesEndingWith(logLinesOf(site.commands), "QUIT") == 3; }));
}

TEST(ParallelTransfers, VsftpdLimitedPerAddressCompletesWithFewerConnections) {
    VsftpdServer vsftpd;
    if (!vsftpd.available())
        GTEST_SKIP() << "vsftpd needs root";
    TempFolder root;
    root.makeFolder("pub");
    for (int i = 0; i < 12; ++i)
        root.write("pub/" + fileName(i), contentOf(i));
    VsftpdOptions options;
    options.maxPerIp = 2;
    vsftpd.setOptions(options);
    ASSERT_TRUE(vsftpd.start(root.path())) << vsftpd.errors();
    ConnectedWindow c(vsftpd.port(), "anonymous", "", "/pub");
    c.h.writeSetting(kTransferConnectionsSetting, "3");
    ASSERT_EQ(c.w().远程文件框.itemCount(), 12);
    ASSERT_TRUE(downloadEveryRow(c));
    expectServedFiles(c, 12);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：12   失败个数：0");
    EXPECT_EQ(transferConnectionLimit(currentSession()), 1);
}

// A connection to 127.0.0.1:port that never logs in (it holds one of the
// server's places); -1 when it could not be made.
int occupyPlace(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// The server closed the idle transfer connections, and someone else took
// their places: making one of them again is refused as too many, which
// lowers the count as a refused new connection does, and the batch gets
// every file.
TEST(ParallelTransfers, AnIdleConnectionRefusedOnReconnectLowersTheCount) {
    PyFtpdFaults faults = passiveServer();
    faults.maxConnections = 4;
    faults.idleSeconds = 2;  // every login is closed 2 s after it
    ServedFiles served(9, "3", faults);
    ASSERT_TRUE(served.c);
    ConnectedWindow& c = *served.c;
    ASSERT_TRUE(downloadEveryRow(c));
    ASSERT_EQ(transferConnectionsOpen(currentSession()), 3);
    // Until every connection of the first batch was closed by the server.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    std::vector<int> others;
    for (int i = 0; i < 2; ++i)
        others.push_back(occupyPlace(served.server.port()));
    for (int i = 0; i < 9; ++i)
        ::unlink(c.local.file(fileName(i)).c_str());
    ASSERT_TRUE(downloadEveryRow(c));
    expectServedFiles(c, 9);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：9   失败个数：0");
    EXPECT_LT(transferConnectionLimit(currentSession()), 3);
    for (int fd : others)
        if (fd >= 0)
            ::close(fd);
}

TEST(ParallelTransfers, AFolderTreeUploadMakesEachFolderBeforeItsFiles) {
    Site site;
    site.root.makeFolder("pub");
    PyFtpdServer server;
    PyFtpdFaults faults = passiveServer();
    faults.commandLog = site.commands;
    ASSERT_TRUE(server.startWithFaults(site.root.path() + "/pub", faults));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.h.writeSetting(kTransferConnectionsSetting, "3");
    std::vector<std::string> files;
    for (int d = 0; d < 4; ++d) {
        for (int i = 0; i < 6; ++i) {
            const std::string path = "tree/d" + std::to_string(d) + "/e" + std::to_string(d % 2) + "/" + fileName(i);
            c.local.write(path, contentOf(d * 10 + i));
            files.push_back(path);
        }
    }
    c.local.write("loose.txt", "loose");
    listLocalDirectory();
    c.select("上传文件框", {"tree", "loose.txt"});
    clickUpload(c);
    ASSERT_TRUE(waitUntil([&] { return uploadEnded(c); }, 60000));

    for (std::size_t k = 0; k < files.size(); ++k)
        EXPECT_EQ(readFileBytes(site.root.file("pub/" + files[k])), c.local.read(files[k])) << files[k];
    EXPECT_EQ(site.root.read("pub/loose.txt"), "loose");
    EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：25  失败数：0");
    // No file went to a folder not made yet.
    std::set<std::string> made;
    for (const std::string& line : logLinesOf(site.commands)) {
        if (line.rfind("MKD ", 0) == 0)
            made.insert(line.substr(4));
        if (line.rfind("STOR ", 0) == 0 && line.find("/tree/") != std::string::npos) {
            const std::string path = line.substr(5);
            EXPECT_EQ(made.count(path.substr(0, path.rfind('/'))), 1u) << line;
        }
    }
}

TEST(ParallelTransfers, ARemoteTreeIsDeletedFilesFirstOverSeveralConnections) {
    Site site;
    site.root.makeFolder("pub");
    for (int d = 0; d < 3; ++d)
        for (int i = 0; i < 8; ++i)
            site.root.write("pub/gone/d" + std::to_string(d) + "/" + fileName(i), contentOf(i));
    site.root.write("pub/kept.txt", "kept");
    PyFtpdServer server;
    PyFtpdFaults faults = loggingServer(site);
    // Otherwise the first connection may delete everything before the
    // others have logged in.
    faults.slowDeleteMs = 20;
    ASSERT_TRUE(server.startWithFaults(site.root.path() + "/pub", faults));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.h.writeSetting(kTransferConnectionsSetting, "3");
    c.select("远程文件框", {"gone"});
    deleteRemoteCommand();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && c.w().状态条1.paneText(1) != "正在删除文件..."; },
                          60000));
    EXPECT_FALSE(platform::pathExists(site.root.file("pub/gone")));
    EXPECT_EQ(site.root.read("pub/kept.txt"), "kept");
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：28个");
    EXPECT_EQ(c.w().远程文件框.findItem("gone"), -1);
    const std::vector<std::string> lines = logLinesOf(site.commands);
    EXPECT_GT(portsSending(lines, "DELE").size(), 1u);
    // Every folder went after everything in it.
    std::map<std::string, std::size_t> lastDelete;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        std::istringstream words(lines[k]);
        std::string port, verb, path;
        words >> port >> verb >> path;
        if (verb == "DELE")
            lastDelete[path.substr(0, path.rfind('/'))] = k;
        if (verb == "RMD" && lastDelete.count(path)) {
            EXPECT_GT(k, lastDelete[path]) << path;
        }
    }
}

TEST(ParallelTransfers, BrowsingAndRenameWorkWhileABatchRuns) {
    Site site;
    site.root.makeFolder("pub");
    site.root.makeFolder("pub/sub");
    site.root.write("pub/sub/inside.txt", "inside");
    site.root.write("pub/old.txt", "old");
    // Files large enough that the batch outlasts what the user does.
    for (int i = 0; i < 12; ++i)
        site.root.write("pub/" + fileName(i), std::string(6 << 20, static_cast<char>('a' + i)));
    PyFtpdServer server;
    ASSERT_TRUE(server.startWithFaults(site.root.path() + "/pub", passiveServer()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.h.writeSetting(kTransferConnectionsSetting, "2");
    std::vector<std::string> chosen;
    for (int i = 0; i < 12; ++i)
        chosen.push_back(fileName(i));
    c.select("远程文件框", chosen);
    clickDownload(c);
    ASSERT_EQ(c.w().下载钮.caption(), "停止");
    DialogAnswerer answers;
    answers.queueInput("new.txt");
    c.select("远程文件框", {"old.txt"});
    renameRemote();
    ASSERT_TRUE(waitUntil([&] { return c.w().远程文件框.findItem("new.txt") >= 0; }, 30000));
    c.w().FTP目录框.setText("/sub");
    remotePathEntered();
    ASSERT_TRUE(waitUntil([&] { return c.w().远程文件框.findItem("inside.txt") >= 0; }, 30000));
    const bool batchStillRan = c.w().下载钮.caption() == "停止";
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 120000));
    EXPECT_TRUE(batchStillRan) << "the batch ended before the browsing was done";
    EXPECT_EQ(site.root.read("pub/new.txt"), "old");
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(platform::fileSize(c.local.file(fileName(i))), 6 << 20) << fileName(i);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：12   失败个数：0");
}

TEST(ParallelTransfers, StopEndsEveryConnectionAfterItsFile) {
    Site site;
    site.root.makeFolder("pub");
    for (int i = 0; i < 40; ++i)
        site.root.write("pub/" + fileName(i), std::string(3 << 20, static_cast<char>('a' + i % 26)));
    PyFtpdServer server;
    ASSERT_TRUE(server.startWithFaults(site.root.path() + "/pub", passiveServer()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    c.h.writeSetting(kTransferConnectionsSetting, "3");
    c.select("远程文件框", allRows(c));
    clickDownload(c);
    ASSERT_TRUE(waitUntil([&] { return linesEndingWith(c.logLines(), "    下载成功") >= 3; }, 30000));
    clickDownload(c);  // 停止
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 60000));
    const std::vector<std::string> lines = c.logLines();
    const int arrived = linesEndingWith(lines, "    下载成功");
    ASSERT_FALSE(lines.empty());
    const std::string notDone = lines.back();
    ASSERT_EQ(notDone.rfind("有", 0), 0u) << notDone;
    const int left = std::stoi(notDone.substr(3));
    EXPECT_EQ(arrived + left, 40) << notDone;
    EXPECT_GT(left, 0);
    EXPECT_EQ(linesEndingWith(lines, "下载失败"), 0);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：" + std::to_string(arrived) + "   失败个数：0");
    // Files that arrived are whole; none is left half-written.
    int local = 0;
    for (int i = 0; i < 40; ++i)
        if (platform::pathExists(c.local.file(fileName(i)))) {
            ++local;
            EXPECT_EQ(platform::fileSize(c.local.file(fileName(i))), 3 << 20);
        }
    EXPECT_EQ(local, arrived);
}

// Six files that each take half a minute on a data connection, a window
// moving three at a time, and the close while all three are under way: the
// close ends every connection at once, leaves each local file as it was
// and starts no other file.
struct SlowBatch {
    explicit SlowBatch(bool upload, int secondsPerFile = 30) {
        site.root.makeFolder("pub");
        for (int i = 0; i < kFiles; ++i)
            site.root.write((upload ? "local-" : "pub/") + fileName(i), std::string(kBytes, 'a' + i));
        PyFtpdFaults faults = loggingServer(site);
        faults.dataBytesPerSecond = kBytes / secondsPerFile;
        if (!server.startWithFaults(site.root.path() + "/pub", faults))
            return;
        c = std::make_unique<ConnectedWindow>(server.port(), kPyFtpdUser, kPyFtpdPassword);
        c->h.writeSetting(kTransferConnectionsSetting, "3");
        for (int i = 0; i < kFiles; ++i) {
            names.push_back(fileName(i));
            const std::string old = upload ? site.root.read("local-" + fileName(i)) : "old " + fileName(i);
            c->local.write(fileName(i), old);
            localBefore.push_back(old);
        }
    }

    // After three connections began their file, the window is closed.
    void closeWhenThreeRun(const std::string& verb) {
        ASSERT_TRUE(waitUntil([&] { return portsSending(logLinesOf(site.commands), verb).size() == 3; }, 30000));
        localFolder = c->local.path();
        c->h.close();
    }

    void expectLocalFilesAsBefore() {
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = localFolder + "/" + names[i];
            EXPECT_EQ(readFileBytes(path), localBefore[i]) << names[i];
            EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(path))) << names[i];
        }
    }

    static constexpr int kFiles = 6;
    static constexpr int kBytes = 1 << 20;
    Site site;
    PyFtpdServer server;
    std::unique_ptr<ConnectedWindow> c;
    std::vector<std::string> names;
    std::vector<std::string> localBefore;
    std::string localFolder;
};

TEST(ParallelTransfers, ClosingTheWindowEndsEveryConnectionOfADownload) {
    SlowBatch batch(false);
    ASSERT_TRUE(batch.c);
    batch.c->select("远程文件框", batch.names);
    clickDownload(*batch.c);
    batch.closeWhenThreeRun("RETR");
    EXPECT_EQ(runningWorkers(), 0);
    batch.expectLocalFilesAsBefore();
    batch.server.stop();
    EXPECT_EQ(commandsSent(logLinesOf(batch.site.commands), "RETR"), 3);
}

TEST(ParallelTransfers, ClosingTheWindowEndsEveryConnectionOfAnUpload) {
    SlowBatch batch(true);
    ASSERT_TRUE(batch.c);
    listLocalDirectory();
    batch.c->select("上传文件框", batch.names);
    clickUpload(*batch.c);
    batch.closeWhenThreeRun("STOR");
    EXPECT_EQ(runningWorkers(), 0);
    batch.expectLocalFilesAsBefore();
    batch.server.stop();
    EXPECT_EQ(commandsSent(logLinesOf(batch.site.commands), "STOR"), 3);
    int stored = 0;
    for (const std::string& name : batch.names)
        stored += platform::pathExists(batch.site.root.file("pub/" + name));
    EXPECT_LE(stored, 3);
}

// 断开 while three connections download: every one ends, no file is tried
// again or begun, and the window is left disconnected.
TEST(ParallelTransfers, DisconnectingEndsEveryConnectionOfABatch) {
    SlowBatch batch(false);
    ASSERT_TRUE(batch.c);
    ConnectedWindow& c = *batch.c;
    batch.localFolder = c.local.path();
    c.select("远程文件框", batch.names);
    clickDownload(c);
    ASSERT_TRUE(waitUntil([&] { return portsSending(logLinesOf(batch.site.commands), "RETR").size() == 3; }, 30000));
    disconnectServer();
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 20000));
    EXPECT_EQ(c.w().状态条1.paneText(0), kDisconnectedText);
    batch.expectLocalFilesAsBefore();
    EXPECT_EQ(commandsSent(logLinesOf(batch.site.commands), "RETR"), 3);
    EXPECT_EQ(transferConnectionsOpen(currentSession()), 0);
}

// Connecting to another server while three connections download: the
// batch goes on to its end on the server it began on, and the window
// browses the new one.
TEST(ParallelTransfers, ABatchFinishesOnItsServerWhenTheWindowConnectsElsewhere) {
    SlowBatch batch(false, 2);
    ASSERT_TRUE(batch.c);
    ConnectedWindow& c = *batch.c;
    TempFolder other;
    other.write("elsewhere.txt", "elsewhere");
    PyFtpdServer otherServer;
    ASSERT_TRUE(otherServer.startWithFaults(other.path(), passiveServer()));
    const SessionHandle first = currentSession();
    c.select("远程文件框", batch.names);
    clickDownload(c);
    ASSERT_TRUE(waitUntil([&] { return portsSending(logLinesOf(batch.site.commands), "RETR").size() == 3; }, 30000));
    c.h.writeSetting("IP信息", "别处|127.0.0.1|" + std::to_string(otherServer.port()) + "|" + kPyFtpdUser + "|" +
                                   kPyFtpdPassword);
    startWorker(connectServer);
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, 60000));
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_GE(c.w().远程文件框.findItem("elsewhere.txt"), 0);
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：6   失败个数：0");
    for (const std::string& name : batch.names)
        EXPECT_EQ(c.local.read(name), batch.site.root.read("pub/" + name)) << name;
    EXPECT_FALSE(platform::pathExists(c.local.file("elsewhere.txt")));
    // Nothing of the old server's is kept for later batches.
    EXPECT_EQ(transferConnectionsOpen(first), 0);
}

// A recursive delete under way when the window connects to another server
// that holds a folder of the same name: the delete goes on where it began,
// and not one file of the other server is touched, with one connection or
// with several.
TEST(ParallelTransfers, ADeleteNeverMovesToTheServerConnectedMeanwhile) {
    for (const char* transfers : {"1", "3"}) {
        SCOPED_TRACE(std::string("connections: ") + transfers);
        Site site;
        TempFolder other;
        for (int i = 0; i < 20; ++i) {
            site.root.write("pub/gone/" + fileName(i), contentOf(i));
            other.write("gone/" + fileName(i), contentOf(i));
        }
        PyFtpdServer server;
        PyFtpdFaults faults = loggingServer(site);
        faults.slowDeleteMs = 100;
        ASSERT_TRUE(server.startWithFaults(site.root.path() + "/pub", faults));
        PyFtpdServer otherServer;
        ASSERT_TRUE(otherServer.startWithFaults(other.path(), passiveServer()));
        ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
        c.h.writeSetting(kTransferConnectionsSetting, transfers);
        c.select("远程文件框", {"gone"});
        deleteRemoteCommand();
        ASSERT_TRUE(waitUntil([&] { return commandsSent(logLinesOf(site.commands), "DELE") >= 2; }, 30000));
        c.h.writeSetting("IP信息", "别处|127.0.0.1|" + std::to_string(otherServer.port()) + "|" + kPyFtpdUser + "|" +
                                       kPyFtpdPassword);
        startWorker(connectServer);
        ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && c.w().状态条1.paneText(1) != "正在删除文件..."; },
                              60000));
        EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(other.read("gone/" + fileName(i)), contentOf(i)) << fileName(i);
        EXPECT_FALSE(platform::pathExists(site.root.file("pub/gone")));
        c.h.close();
    }
}

// An upload begun while a download holds every transfer connection stops
// the download after the files it has under way (one flag runs the one or
// the other): those arrive whole, the rest stay as they were, the upload
// arrives, and the server never sees more than the count's connections and
// the browsing one.
TEST(ParallelTransfers, AnUploadBegunDuringADownloadStopsItCleanly) {
    SlowBatch batch(false, 2);
    ASSERT_TRUE(batch.c);
    ConnectedWindow& c = *batch.c;
    batch.localFolder = c.local.path();
    c.local.write("up/one.txt", "one");
    c.local.write("up/two.txt", "two");
    listLocalDirectory();
    c.select("远程文件框", batch.names);
    clickDownload(c);
    ASSERT_TRUE(waitUntil([&] { return portsSending(logLinesOf(batch.site.commands), "RETR").size() == 3; }, 30000));
    c.select("上传文件框", {"up"});
    clickUpload(c);
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c) && uploadEnded(c); }, 60000));
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    int arrived = 0;
    for (int i = 0; i < SlowBatch::kFiles; ++i) {
        const std::string name = batch.names[i];
        const bool whole = c.local.read(name) == batch.site.root.read("pub/" + name);
        EXPECT_TRUE(whole || c.local.read(name) == batch.localBefore[i]) << name;
        EXPECT_FALSE(platform::pathExists(ftp::preferredPartialPath(c.local.file(name)))) << name;
        arrived += whole;
    }
    EXPECT_EQ(arrived, 3);
    EXPECT_EQ(linesEndingWith(c.logLines(), "    下载成功"), arrived);
    EXPECT_EQ(linesEndingWith(c.logLines(), "有3项未下载（已停止）"), 1);
    EXPECT_EQ(batch.site.root.read("pub/up/one.txt"), "one");
    EXPECT_EQ(batch.site.root.read("pub/up/two.txt"), "two");
    EXPECT_LE(portsSending(logLinesOf(batch.site.commands), "USER").size(), 4u);
}

TEST(TransferCount, TheMenuKeepsACountFromOneToTen) {
    MainWindowHarness h;
    h.open();
    DialogAnswerer answers;
    answers.queueInput("5");
    chooseTransferCount();
    EXPECT_EQ(readSetting(kTransferConnectionsSetting), "5");
    EXPECT_EQ(transferConnectionsSetting(), 5);
    for (const char* wrong : {"0", "11", "x", "-1", "3 "}) {
        answers.queueInput(wrong);
        chooseTransferCount();
        EXPECT_EQ(readSetting(kTransferConnectionsSetting), "5") << wrong;
    }
    EXPECT_EQ(answers.texts().back(), "请输入1到10之间的数字");
    // A count written by hand out of range is the default.
    h.writeSetting(kTransferConnectionsSetting, "42");
    setTransferConnectionsDefault(kDefaultTransferConnections);
    EXPECT_EQ(transferConnectionsSetting(), 3);
    setTransferConnectionsDefault(1);
}
