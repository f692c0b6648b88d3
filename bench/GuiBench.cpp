// Times one batch of the real handlers in the real main window, offscreen,
// against a running server, and prints one BenchReport line. A 10 ms timer
// on the UI thread records the longest gap between its ticks (stall_ms).
//   gui_bench download   PORT REMOTE_DIR LOCAL_DIR [NAME]  (NAME, or every row)
//   gui_bench upload     PORT REMOTE_DIR LOCAL_DIR NAME     (one row of the local list)
//   gui_bench connectlist PORT REMOTE_DIR EXPECTED_ROWS     (connect + fill the remote list)
//   gui_bench refreshlist PORT REMOTE_DIR EXPECTED_ROWS     (listRemoteDirectory on a worker)
//   gui_bench delete     PORT REMOTE_DIR NAME               (remote delete of one row)
//   gui_bench rename     PORT REMOTE_DIR NAME NEW_NAME      (the rename menu; the list reloads)
//   gui_bench mkdir      PORT REMOTE_DIR NAME               (the make-directory menu)
//   gui_bench locallist  FOLDER EXPECTED_ROWS               (listLocalDirectory)
//   gui_bench localfill  FOLDER EXPECTED_ROWS               (the same rows, appendRows only)
// A leading "--connections N" runs the batch on N transfer connections
// (the window's setting); 1 when not given. "--sftp" after it: the server
// speaks SFTP; the window logs in as CORVANE_BENCH_USER with an empty
// password (a key login) instead of anonymously (see windowSpeaksSftp).
// With CORVANE_BENCH_CA set to a PEM file, servers are verified against it
// (the TLS group's self-signed certificate) instead of the system's store.
#include "app/controls/ListControl.h"
#include "app/state/AppState.h"
#include "app/state/WorkerThreads.h"
#include "bench/BenchReport.h"
#include "fileops/RemoteDelete.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "ftp/handlers/ConnectSetup.h"
#include "ftp/handlers/ConnectionRecovery.h"
#include "ftp/handlers/RemoteListing.h"
#include "ftp/handlers/TransferPool.h"
#include "local/LocalBrowser.h"
#include "local/LocalList.h"
#include "platform/FreedMemory.h"
#include "platform/LocalFiles.h"
#include "tests/support/GuiHarness.h"
#include "tests/support/TempFolder.h"
#include "transfer/Download.h"
#include "transfer/Retry.h"
#include "transfer/Upload.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kProgram = "gui_bench";
constexpr int kBatchTimeoutMs = 30 * 60 * 1000;
constexpr int kIdleCheckMs = 10;

// The user and password fields of the server's setting.
std::string loginFields = "anonymous|bench";  // any password will do
// How many files a batch moves at once ("--connections").
int transferCount = 1;

class BenchWindow {
public:
    BenchWindow(const std::string& port, const std::string& remoteDir, const std::string& localDir) {
        h.writeSetting("本地目录", localDir);
        h.writeSetting("服务器目录", remoteDir);
        if (!port.empty())
            h.writeSetting("IP信息", "bench|127.0.0.1|" + port + "|" + loginFields);
        h.writeSetting(kTransferConnectionsSetting, std::to_string(transferCount));
        // The program's own waits, not the test harness's short ones: a
        // retry in a figure costs what it costs the user.
        setBatchRetrySchedule(standardRetrySchedule());
        setConnectionLimitWaits(standardConnectionLimitWaits());
        h.open();
    }
    MainWindow& w() const { return h.controls(); }
    QTreeView* tree(const char* name) const { return h.form()->findChild<QTreeView*>(name); }
    // Connects on a worker, as the program does.
    bool connect();

    testsupport::MainWindowHarness h;
};

bool selectRows(BenchWindow& b, const char* listName, ui::ListControl& list, const std::string& name) {
    QTreeView* tree = b.tree(listName);
    tree->clearSelection();
    if (name.empty()) {
        tree->selectAll();
        return list.itemCount() > 0;
    }
    int row = list.findItem(name);
    list.selectItem(row);
    return row >= 0;
}

// Runs the event loop until the condition holds. It is checked each time
// the loop has handled what arrived, so a change a worker makes through the
// UI thread is seen at once, and every checkMs besides (a worker ends
// without telling the UI thread). Unlike the tests' waitUntil it never
// sleeps, so a worker's control call is carried out as soon as it is
// posted, as in the program.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs, int checkMs) {
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    bool met = condition();
    auto check = [&] {
        if (met)
            return;
        met = condition();
        if (met || clock.elapsed() > timeoutMs)
            loop.quit();
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, check);
    QMetaObject::Connection afterEvents =
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, check);
    if (!met) {
        timer.start(checkMs);
        loop.exec();
    }
    QObject::disconnect(afterEvents);
    return met;
}

bool BenchWindow::connect() {
    startWorker(connectServer);
    waitUntil([] { return runningWorkers() == 0; }, kBatchTimeoutMs, 1);
    return w().状态条1.paneText(0) == "连接服务器成功";
}

// Runs the handler, then waits until done() holds and no worker is left.
// Until done() holds, the UI thread wakes for the program's own events and
// every kIdleCheckMs: a timer of 1 ms throughout would wake it a thousand
// times a second, which the program never does. Over TLS that took the
// processor from vsftpd, whose two processes hand each other every record.
// Once it holds, the worker's end (which the UI thread does not hear of) is
// looked for every millisecond.
double runBatch(const std::function<void()>& handler, const std::function<bool()>& done, double& stallMs,
                bool& finished) {
    testsupport::UiHeartbeat beat;
    auto start = bench::Clock::now();
    handler();
    finished = waitUntil(done, kBatchTimeoutMs, kIdleCheckMs) &&
               waitUntil([&] { return done() && runningWorkers() == 0; }, kBatchTimeoutMs, 1);
    double seconds = bench::secondsSince(start);
    stallMs = static_cast<double>(beat.longestGapMs());
    return seconds;
}

int download(char** argv, int argc) {
    testsupport::TempFolder scratch;
    BenchWindow b(argv[2], argv[3], argv[4]);
    if (!b.connect())
        return bench::fail(kProgram, "connect failed");
    if (!selectRows(b, "远程文件框", b.w().远程文件框, argc > 5 ? argv[5] : ""))
        return bench::fail(kProgram, "nothing to select");
    double stall = 0;
    bool finished = false;
    double seconds = runBatch([] { downloadButton(); },
                              [&] { return b.w().下载钮.caption() == "下载"; }, stall, finished);
    if (!finished || b.w().状态条1.paneText(1) != "下载完毕")
        return bench::fail(kProgram, "download did not finish: " + b.w().状态条1.paneText(2));
    return bench::report(seconds, stall);
}

int upload(char** argv) {
    BenchWindow b(argv[2], argv[3], argv[4]);
    if (!b.connect())
        return bench::fail(kProgram, "connect failed");
    if (!selectRows(b, "上传文件框", b.w().上传文件框, argv[5]))
        return bench::fail(kProgram, "nothing to select");
    double stall = 0;
    bool finished = false;
    double seconds = runBatch([] { uploadButton(); },
                              [&] { return b.w().上传钮.caption() == "上传"; }, stall, finished);
    if (!finished || b.w().状态条1.paneText(1) != "上传完毕!" || appState().uploadFailed != 0)
        return bench::fail(kProgram, "upload did not finish: " + b.w().状态条1.paneText(2));
    return bench::report(seconds, stall);
}

int remoteList(char** argv, bool connectFirst) {
    BenchWindow b(argv[2], argv[3], std::string());
    const int expected = std::atoi(argv[4]);
    if (!connectFirst) {
        if (!b.connect())
            return bench::fail(kProgram, "connect failed");
        b.w().远程文件框.deleteAllItems();
    }
    double stall = 0;
    bool finished = false;
    double seconds = runBatch([&] { startWorker(connectFirst ? connectServer : listRemoteDirectory); },
                              [&] {
                                  return b.w().远程文件框.itemCount() == expected ||
                                         b.w().状态条1.paneText(0) == "连接服务器失败！";
                              },
                              stall, finished);
    if (b.w().远程文件框.itemCount() != expected)
        finished = false;
    if (!finished)
        return bench::fail(kProgram, "the list did not fill: " + b.w().状态条1.paneText(1));
    return bench::report(seconds, stall);
}

int remoteDelete(char** argv) {
    BenchWindow b(argv[2], argv[3], std::string());
    if (!b.connect())
        return bench::fail(kProgram, "connect failed");
    if (!selectRows(b, "远程文件框", b.w().远程文件框, argv[4]))
        return bench::fail(kProgram, "nothing to select");
    double stall = 0;
    bool finished = false;
    double seconds = runBatch([] { deleteRemoteCommand(); },
                              [&] { return b.w().状态条1.paneText(1).rfind("删除文件：", 0) == 0; }, stall, finished);
    if (!finished || b.w().远程文件框.findItem(argv[4]) >= 0)
        return bench::fail(kProgram, "delete did not finish: " + b.w().状态条1.paneText(1));
    return bench::report(seconds, stall);
}

// A command of the remote list's menu that asks for a name: the input box
// is answered with the name, the message box that may follow with OK.
int remoteEdit(char** argv, bool rename) {
    BenchWindow b(argv[2], argv[3], std::string());
    if (!b.connect())
        return bench::fail(kProgram, "connect failed");
    const std::string name = rename ? argv[5] : argv[4];
    if (rename && !selectRows(b, "远程文件框", b.w().远程文件框, argv[4]))
        return bench::fail(kProgram, "nothing to select");
    testsupport::DialogAnswerer answers;
    answers.queueInput(name);
    QAction* command = b.h.form()->findChild<QAction*>(rename ? "重命名(&M)" : "创建目录(&C)");
    double stall = 0;
    bool finished = false;
    double seconds = runBatch([&] { command->trigger(); }, [] { return true; }, stall, finished);
    if (!finished || b.w().远程文件框.findItem(name) < 0)
        return bench::fail(kProgram, std::string(rename ? "rename" : "mkdir") + " did not show " + name);
    return bench::report(seconds, stall);
}

int localList(char** argv, bool fillOnly) {
    testsupport::TempFolder empty;
    BenchWindow b(std::string(), "/", empty.path());
    const int expected = std::atoi(argv[3]);
    std::vector<ui::ListRow> rows;
    if (fillOnly) {
        // The list's own cost: the same names with one fixed icon.
        for (const platform::LocalEntry& e : platform::listFolder(std::string(argv[2]) + "/"))
            rows.push_back({e.name, std::to_string(e.size / 1024), 5, 0, {}});
    }
    showLocalFolder(argv[2]);
    double stall = 0;
    bool finished = false;
    double seconds = runBatch(
        [&] {
            if (fillOnly) {
                b.w().上传文件框.deleteAllItems();
                b.w().上传文件框.appendRows(rows);
                b.w().上传文件框.setColumnWidth(0, -1);
            } else {
                listLocalDirectory();
            }
        },
        [&] { return true; }, stall, finished);
    if (b.w().上传文件框.itemCount() != expected)
        return bench::fail(kProgram, "wrong row count " + std::to_string(b.w().上传文件框.itemCount()));
    return bench::report(seconds, stall);
}

// The window's setting takes 1 to 10; BenchWindow writes it before the
// window opens.
bool usableConnections(int connections) { return connections >= 1 && connections <= kMaxTransferConnections; }

// The window's connect takes the protocol from the server; its SFTP
// set-up takes CORVANE_BENCH_SSH_DIR (the key folder) and
// CORVANE_BENCH_KNOWN_HOSTS (trusted without asking) as ftp_bench's does.
constexpr bool windowSpeaksSftp = true;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The servers' identities as the bench group prepared them.
void setUpSessions() {
    setExtraSessionSetup(
        [](FtpClient& client) {
            if (const char* ca = std::getenv("CORVANE_BENCH_CA"))
                client.setTrustedCertificates(ca);
        },
        [](SftpClient& client) {
            client.setSshDirectory(environment("CORVANE_BENCH_SSH_DIR"));
            client.setTrustedKnownHostsFile(environment("CORVANE_BENCH_KNOWN_HOSTS"));
            client.setKnownHostsFile("");
        });
}

} // namespace

int main(int argc, char** argv) {
    platform::keepFreedMemoryForReuse();
    const int connections = bench::takeConnections(argc, argv);
    if (connections < 1)
        return bench::fail(kProgram, "--connections takes a count from 1 to 10");
    if (!usableConnections(connections))
        return bench::fail(kProgram, "--connections takes a count from 1 to 10");
    transferCount = connections;
    if (bench::takeFlag(argc, argv, "--sftp")) {
        if (!windowSpeaksSftp)
            return bench::notBuilt(kProgram, "the window connects to FTP servers only");
        const char* user = std::getenv("CORVANE_BENCH_USER");
        loginFields = std::string(user ? user : "root") + "|";
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    setUpSessions();
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "download" && argc >= 5)
        return download(argv, argc);
    if (mode == "upload" && argc >= 6)
        return upload(argv);
    if ((mode == "connectlist" || mode == "refreshlist") && argc >= 5)
        return remoteList(argv, mode == "connectlist");
    if (mode == "delete" && argc >= 5)
        return remoteDelete(argv);
    if ((mode == "rename" && argc >= 6) || (mode == "mkdir" && argc >= 5))
        return remoteEdit(argv, mode == "rename");
    if ((mode == "locallist" || mode == "localfill") && argc >= 4)
        return localList(argv, mode == "localfill");
    return bench::fail(kProgram, "usage: see the top of GuiBench.cpp");
}
