// The main window over SFTP, chosen by the server itself: OpenSSH's sshd
// (key login, internal-sftp) for every window operation, the scripted
// asyncssh server for the host-key question (its log tells whether a
// password was sent), and the protocol told apart on ports 2222 and 22.
#include "ftp/EntryKind.h"
#include "ftp/handlers/ConnectSetup.h"
#include "ftp/handlers/CurrentSession.h"
#include "ftp/handlers/TransferPool.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "sftp/SftpClient.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/SshServers.h"
#include "tests/transfer/TransferTestSupport.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr int kBatchWaitMs = 120000;

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int fileMode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

void clickButton(MainWindowHarness& h, const char* name) {
    QTest::mouseClick(h.form()->findChild<QPushButton*>(name), Qt::LeftButton);
}

void trigger(MainWindowHarness& h, const char* caption) {
    h.form()->findChild<QAction*>(QString::fromUtf8(caption))->trigger();
}

// "连接(&L)", as the user chooses it (a shortcut would go to whichever
// window is active, which after a question is not always this one).
void connectFromMenu(MainWindowHarness& h) {
    h.form()->findChild<QAction*>(QString::fromUtf8("连接(&L)"))->trigger();
    ASSERT_TRUE(waitForWorkers(60000));
}

bool batchesEnded(ConnectedWindow& c) {
    return runningWorkers() == 0 && c.w().上传钮.caption() == "上传" && c.w().下载钮.caption() == "下载" &&
           c.w().状态条1.paneText(1) != "正在删除文件...";
}

// The log line that names SSH's protection ("连接已加密（SSH cipher, kex）").
bool logNamesSsh(const ConnectedWindow& c) {
    for (const std::string& line : c.logLines())
        if (line.rfind("连接已加密（SSH ", 0) == 0 && line.size() > 30)
            return true;
    return false;
}

// Whether this process could listen on 127.0.0.1:port now.
bool canListenOn(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}


// Each test's own known-hosts file stands for ~/.ssh/known_hosts, and its
// key folder for ~/.ssh; cleared again at the end.
class SshSetup {
public:
    SshSetup(const std::string& keyFolder, const std::string& userKnownHosts) {
        setExtraSessionSetup({}, [=](SftpClient& client) {
            client.setSshDirectory(keyFolder);
            client.setTrustedKnownHostsFile(userKnownHosts);
        });
    }
    ~SshSetup() { setExtraSessionSetup({}, {}); }
};

// A window connected to OpenSSH's sshd, whose key the user's known_hosts
// holds, showing the login folder (the site).
class SftpWindow : public testing::Test {
protected:
    void SetUp() override {
        if (!sshd_.available())
            GTEST_SKIP() << "sshd runs only as root";
        site_.write("hello.txt", "hello");
        site_.write("docs/readme.txt", "read me");
        site_.write("outside/keep.txt", "keep");
        ASSERT_EQ(::symlink("outside", site_.file("lnk").c_str()), 0);
        ASSERT_TRUE(sshd_.start(site_.path())) << sshd_.log();
        userSsh_.write("known_hosts", knownHostsLine(sshd_.hostKey(), sshd_.port()));
        setup_ = std::make_unique<SshSetup>(sshd_.clientKeyFolder(), userSsh_.file("known_hosts"));
        c_ = std::make_unique<ConnectedWindow>(sshd_.port(), "root", "", site_.path());
        ASSERT_EQ(c_->w().状态条1.paneText(0), "连接服务器成功") << sshd_.log();
        ASSERT_TRUE(waitForWorkers());
    }
    void TearDown() override {
        if (c_)
            c_->h.close();
        c_.reset();
        setup_.reset();
    }

    void refresh() {
        trigger(c_->h, "刷新(&A)");
        ASSERT_TRUE(waitForWorkers());
    }

    TempFolder site_;
    TempFolder userSsh_;
    OpensshServer sshd_;
    std::unique_ptr<SshSetup> setup_;
    std::unique_ptr<ConnectedWindow> c_;
};

} // namespace

TEST_F(SftpWindow, ConnectsListsAndDownloadsOverSftp) {
    ConnectedWindow& c = *c_;
    EXPECT_EQ(currentSession()->protocol(), Protocol::Sftp);
    EXPECT_TRUE(logNamesSsh(c)) << c.w().消息框.text();
    EXPECT_EQ(c.w().window.title(), "Corvane——测试");
    EXPECT_EQ(c.w().FTP目录框.text(), site_.path());
    // Types come from the attributes: the link stays a link.
    ui::ListControl& list = c.w().远程文件框;
    const int docs = list.findItem("docs");
    const int hello = list.findItem("hello.txt");
    const int link = list.findItem("lnk");
    ASSERT_GE(docs, 0);
    ASSERT_GE(hello, 0);
    ASSERT_GE(link, 0);
    EXPECT_EQ(list.itemValue(docs), kKindDirectory);
    EXPECT_EQ(list.itemText(docs, 1), "");
    EXPECT_EQ(list.itemValue(hello), kKindFile);
    EXPECT_EQ(list.itemText(hello, 1), "0.005");
    EXPECT_EQ(list.itemValue(link), kKindLink);
    EXPECT_EQ(c.w().状态条1.paneText(1), "文件数:4");

    // A small file and one of several megabytes, each whole; no partial
    // file stays behind.
    ASSERT_TRUE(writePatternFile(site_.file("big.bin"), 5 * 1024 * 1024 + 17, 3));
    refresh();
    c.select("远程文件框", {"hello.txt", "big.bin"});
    clickButton(c.h, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return batchesEnded(c); }, kBatchWaitMs));
    EXPECT_EQ(c.local.read("hello.txt"), "hello");
    EXPECT_EQ(fileHash(c.local.file("big.bin")), fileHash(site_.file("big.bin")));
    EXPECT_TRUE(c.logHas("hello.txt    下载成功"));
    EXPECT_TRUE(c.logHas("big.bin    下载成功"));
    EXPECT_EQ(c.w().状态条1.paneText(1), "下载完毕");
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：2   失败个数：0");
    EXPECT_FALSE(platform::pathExists(c.local.file("big.bin.part")));

    // Into a folder: a double-click enters it; going up comes back.
    doubleClickRemoteRow(c.h, c.w().远程文件框.findItem("docs"));
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && c.w().远程文件框.findItem("readme.txt") >= 0; }));
    EXPECT_EQ(c.w().FTP目录框.text(), site_.path() + "/docs");
    // A double-clicked file is downloaded and opened.
    FakeOpener opener;
    doubleClickRemoteRow(c.h, c.w().远程文件框.findItem("readme.txt"));
    EXPECT_EQ(opener.opened(), c.local.file("readme.txt") + "\n");
    EXPECT_EQ(c.local.read("readme.txt"), "read me");
    clickButton(c.h, "反退钮");
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && c.w().远程文件框.findItem("docs") >= 0; }));
    EXPECT_EQ(c.w().FTP目录框.text(), site_.path());
}

// Files, a dropped file and a folder tree go up; the tree keeps its shape.
TEST_F(SftpWindow, UploadsFilesDroppedFilesAndFolderTrees) {
    ConnectedWindow& c = *c_;
    c.local.write("one.txt", "1");
    c.local.write("tree/a.txt", "A");
    c.local.write("tree/sub/b.txt", "B");
    c.local.write("tree/sub/deeper/c.txt", "C");
    listLocalDirectory();
    c.select("上传文件框", {"one.txt", "tree"});
    clickButton(c.h, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return batchesEnded(c); }, kBatchWaitMs));
    EXPECT_EQ(site_.read("one.txt"), "1");
    EXPECT_EQ(site_.read("tree/a.txt"), "A");
    EXPECT_EQ(site_.read("tree/sub/b.txt"), "B");
    EXPECT_EQ(site_.read("tree/sub/deeper/c.txt"), "C");
    EXPECT_EQ(c.w().状态条1.paneText(1), "上传完毕!");
    EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：4  失败数：0");
    EXPECT_TRUE(c.logHas("one.txt”    上传成功"));
    EXPECT_GE(c.w().远程文件框.findItem("one.txt"), 0);
    EXPECT_GE(c.w().远程文件框.findItem("tree"), 0);

    // Dropped from a file manager, then sent.
    TempFolder elsewhere;
    elsewhere.write("dropped.txt", "dropped");
    ASSERT_TRUE(dropOnLocalList(c.w(), {QUrl::fromLocalFile(QString::fromStdString(elsewhere.file("dropped.txt")))}));
    clickButton(c.h, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return batchesEnded(c); }, kBatchWaitMs));
    EXPECT_EQ(site_.read("dropped.txt"), "dropped");
}

// A link inside the folder is removed as the link; what it points to
// stays, and so does a chosen link's target.
TEST_F(SftpWindow, DeletesTreesWithoutFollowingLinks) {
    ConnectedWindow& c = *c_;
    site_.write("tree/a.txt", "A");
    site_.write("tree/sub/b.txt", "B");
    ASSERT_EQ(::symlink("../../outside", site_.file("tree/sub/inner").c_str()), 0);
    refresh();
    c.select("远程文件框", {"tree", "lnk"});
    trigger(c.h, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return batchesEnded(c); }, kBatchWaitMs));
    const std::string tree = site_.path() + "/tree";
    EXPECT_TRUE(c.logHas("删除“" + tree + "/sub/inner”链接成功")) << c.w().消息框.text();
    EXPECT_TRUE(c.logHas("删除“" + tree + "/sub/b.txt”文件成功"));
    EXPECT_TRUE(c.logHas("删除“" + tree + "”目录成功"));
    EXPECT_TRUE(c.logHas("删除“lnk”成功"));
    EXPECT_FALSE(platform::pathExists(site_.file("tree")));
    EXPECT_FALSE(platform::isSymlink(site_.file("lnk")));
    EXPECT_EQ(site_.read("outside/keep.txt"), "keep");
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：6个");
    EXPECT_EQ(c.w().远程文件框.findItem("tree"), -1);
    EXPECT_EQ(c.w().远程文件框.findItem("lnk"), -1);
}

TEST_F(SftpWindow, RenameAsksBeforeReplacingAndNewFoldersAreMade) {
    ConnectedWindow& c = *c_;
    site_.write("other.txt", "other");
    refresh();
    DialogAnswerer answers;
    answers.queueInput("other.txt");
    answers.queueButton(QMessageBox::No);
    c.select("远程文件框", {"hello.txt"});
    trigger(c.h, "重命名(&M)");
    ASSERT_TRUE(waitForWorkers());
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.texts()[1], "“other.txt”已存在，要替换它吗？");
    EXPECT_EQ(site_.read("other.txt"), "other");
    EXPECT_EQ(site_.read("hello.txt"), "hello");

    answers.queueInput("新名字.txt");
    c.select("远程文件框", {"hello.txt"});
    trigger(c.h, "重命名(&M)");
    ASSERT_TRUE(waitForWorkers());
    ASSERT_EQ(answers.seen(), 4);
    EXPECT_EQ(answers.texts()[3], "修改成功");
    EXPECT_EQ(site_.read("新名字.txt"), "hello");
    EXPECT_FALSE(platform::pathExists(site_.file("hello.txt")));
    EXPECT_GE(c.w().远程文件框.findItem("新名字.txt"), 0);

    // Yes replaces: SFTP's rename would not, so the old file went aside
    // and is gone once the rename is done.
    answers.queueInput("other.txt");
    answers.queueButton(QMessageBox::Yes);
    c.select("远程文件框", {"新名字.txt"});
    trigger(c.h, "重命名(&M)");
    ASSERT_TRUE(waitForWorkers());
    ASSERT_EQ(answers.seen(), 7);
    EXPECT_EQ(answers.texts()[5], "“other.txt”已存在，要替换它吗？");
    EXPECT_EQ(answers.texts()[6], "修改成功");
    EXPECT_EQ(site_.read("other.txt"), "hello");
    EXPECT_FALSE(platform::pathExists(site_.file("新名字.txt")));
    EXPECT_FALSE(platform::pathExists(site_.file("other.txt.replaced-by-rename")));
    // A folder is never replaced.
    answers.queueInput("docs");
    answers.queueButton(QMessageBox::Yes);
    c.select("远程文件框", {"other.txt"});
    trigger(c.h, "重命名(&M)");
    ASSERT_TRUE(waitForWorkers());
    EXPECT_EQ(answers.texts().back(), "修改失败");
    EXPECT_EQ(site_.read("other.txt"), "hello");
    EXPECT_EQ(site_.read("docs/readme.txt"), "read me");

    answers.queueInput("新目录");
    trigger(c.h, "创建目录(&C)");
    ASSERT_TRUE(waitForWorkers());
    struct stat st {};
    ASSERT_EQ(::stat(site_.file("新目录").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    const int row = c.w().远程文件框.findItem("新目录");
    ASSERT_GE(row, 0);
    EXPECT_EQ(c.w().远程文件框.itemValue(row), kKindDirectory);
    // An existing folder cannot be made again.
    answers.queueInput("新目录");
    trigger(c.h, "创建目录(&C)");
    ASSERT_TRUE(waitForWorkers());
    EXPECT_EQ(answers.texts().back(), "创建失败！");
}

namespace {

// A window on the scripted SFTP server, whose log shows every password a
// client sent. Nothing but the window's own known-hosts file knows its key.
class SftpHostKeys : public testing::Test {
protected:
    void SetUp() override {
        site_.write("hello.txt", "hello");
        ASSERT_TRUE(server_.start(site_.path()));
        setup_ = std::make_unique<SshSetup>(userSsh_.path(), userSsh_.file("known_hosts"));
        h_.writeSetting("本地目录", local_.path());
        h_.writeSetting("服务器目录", "/");
        writeServerSetting();
    }
    void TearDown() override {
        h_.close();
        setup_.reset();
    }

    // The setting 连接 reads: the server as it listens now.
    void writeServerSetting() {
        h_.writeSetting("IP信息", "脚本|127.0.0.1|" + std::to_string(server_.port()) + "|" + kSftpUser + "|" +
                                      kSftpPassword);
    }
    // The server started again with the fault, its key known to the user,
    // and the window open and connected to it.
    void connectWithFault(const std::string& fault) {
        ASSERT_TRUE(server_.start(site_.path(), ScriptedSftpServer::Login::Password, fault));
        userSsh_.write("known_hosts", knownHostsLine(server_.hostKey(), server_.port()));
        writeServerSetting();
        h_.open();
        connectFromMenu(h_);
        ASSERT_EQ(w().状态条1.paneText(0), "连接服务器成功");
    }

    std::string keptKeys() const { return h_.folder().file("known_hosts"); }
    MainWindow& w() const { return h_.controls(); }
    bool loginSent() const { return contains(server_.log(), "login attempt"); }
    bool logHas(const std::string& line) const { return contains(w().消息框.text(), line + "\n"); }

    TempFolder site_;
    TempFolder local_;
    TempFolder userSsh_;
    ScriptedSftpServer server_;
    std::unique_ptr<SshSetup> setup_;
    MainWindowHarness h_;
};

} // namespace

// No: nothing connects and no password goes out. Yes: the key is kept
// (0600), and the next connect asks nothing.
TEST_F(SftpHostKeys, TheFirstConnectAsksAndAnAcceptedKeyIsKept) {
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::No);
    h_.open();
    connectFromMenu(h_);
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.titles()[0], "主机密钥验证");
    EXPECT_TRUE(contains(answers.texts()[0], "ssh-ed25519")) << answers.texts()[0];
    EXPECT_TRUE(contains(answers.texts()[0], "SHA256 指纹：" + server_.hostKey().fingerprint() + "\n"))
        << answers.texts()[0];
    EXPECT_TRUE(contains(answers.texts()[0], "127.0.0.1:" + std::to_string(server_.port())));
    EXPECT_EQ(w().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_TRUE(logHas("服务器主机密钥未被信任，已取消连接"));
    EXPECT_FALSE(loginSent()) << server_.log();
    EXPECT_FALSE(platform::pathExists(keptKeys()));
    EXPECT_EQ(w().远程文件框.itemCount(), 0);

    answers.queueButton(QMessageBox::Yes);
    connectFromMenu(h_);
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.titles()[1], "主机密钥验证");
    ASSERT_EQ(w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_TRUE(loginSent());
    EXPECT_GE(w().远程文件框.findItem("hello.txt"), 0);
    EXPECT_EQ(h_.folder().read("known_hosts"), knownHostsLine(server_.hostKey(), server_.port()));
    EXPECT_EQ(fileMode(keptKeys()), 0600);

    // Each connect makes a session of its own: this one knows the key from
    // the file alone.
    connectFromMenu(h_);
    EXPECT_EQ(answers.seen(), 2);
    EXPECT_EQ(w().状态条1.paneText(0), "连接服务器成功");
}

// Another key than the one kept: a warning, no connect, no password.
TEST_F(SftpHostKeys, AChangedKeyIsAWarningAndNoConnect) {
    SshKeyPair before;
    ASSERT_TRUE(before.make(userSsh_.file("old_host_key")));
    const std::string kept = knownHostsLine(before, server_.port());
    h_.folder().write("known_hosts", kept);
    DialogAnswerer answers;
    h_.open();
    connectFromMenu(h_);
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.titles()[0], "安全警告");
    EXPECT_TRUE(contains(answers.texts()[0], "与记录的不同")) << answers.texts()[0];
    EXPECT_TRUE(contains(answers.texts()[0], server_.hostKey().fingerprint()));
    EXPECT_EQ(w().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_TRUE(logHas("服务器主机密钥与记录的不同，已取消连接"));
    EXPECT_FALSE(loginSent()) << server_.log();
    EXPECT_EQ(h_.folder().read("known_hosts"), kept);
}

// A key in the user's own known_hosts needs no question; "仅用加密连接"
// counts SFTP as protected.
TEST_F(SftpHostKeys, KeysTheUserTrustsConnectUnaskedAlsoWhenOnlyEncryptedConnectionsAreAllowed) {
    userSsh_.write("known_hosts", knownHostsLine(server_.hostKey(), server_.port()));
    h_.writeSetting("仅用加密连接", "真");
    DialogAnswerer answers;
    h_.open();
    connectFromMenu(h_);
    EXPECT_EQ(answers.seen(), 0);
    ASSERT_EQ(w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_GE(w().远程文件框.findItem("hello.txt"), 0);
    EXPECT_FALSE(platform::pathExists(keptKeys()));
    EXPECT_EQ(userSsh_.read("known_hosts"), knownHostsLine(server_.hostKey(), server_.port()));
}

// The protocol comes from the server, not from its port: SSH on 2222 (not
// SSH's port) and FTP on 22 (SSH's port) are each recognised. Those ports
// may be taken on this machine: the test then says so and skips.
TEST(ProtocolDetectionWindow, AnSshServerOn2222AndAnFtpServerOn22AreEachRecognised) {
    TempFolder site;
    site.write("hello.txt", "hello");
    TempFolder userSsh;
    OpensshServer sshd;
    bool sshTried = false;
    if (!sshd.available()) {
        std::cout << "[ SKIPPED  ] SSH on 2222: sshd runs only as root\n";
    } else if (!canListenOn(2222)) {
        std::cout << "[ SKIPPED  ] SSH on 2222: port 2222 is in use here\n";
    } else {
        sshTried = sshd.start(site.path(), "", 2222);
        ASSERT_TRUE(sshTried || !canListenOn(2222)) << sshd.log();
    }
    if (sshTried) {
        userSsh.write("known_hosts", knownHostsLine(sshd.hostKey(), 2222));
        SshSetup setup(sshd.clientKeyFolder(), userSsh.file("known_hosts"));
        ConnectedWindow c(2222, "root", "", site.path());
        ASSERT_TRUE(waitForWorkers());
        EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功") << sshd.log();
        EXPECT_EQ(currentSession()->protocol(), Protocol::Sftp);
        EXPECT_TRUE(logNamesSsh(c));
        EXPECT_GE(c.w().远程文件框.findItem("hello.txt"), 0);
        c.h.close();
    }

    PyFtpdServer ftp;
    if (!canListenOn(22)) {
        if (!sshTried)
            GTEST_SKIP() << "port 22 is in use here (or needs root), and SSH on 2222 could not be tried";
        std::cout << "[ SKIPPED  ] FTP on 22: port 22 is in use here (or needs root)\n";
        return;
    }
    if (!ftp.start(site.path(), kPyFtpdUser, kPyFtpdPassword, 22)) {
        ASSERT_FALSE(canListenOn(22)) << "pyftpdlib did not start on port 22";
        GTEST_SKIP() << "port 22 was taken meanwhile";
    }
    ConnectedWindow c(22, kPyFtpdUser, kPyFtpdPassword, "/");
    ASSERT_TRUE(waitForWorkers());
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(currentSession()->protocol(), Protocol::Ftp);
    EXPECT_TRUE(c.logHas("连接未加密"));
    EXPECT_GE(c.w().远程文件框.findItem("hello.txt"), 0);
    c.h.close();
}

// A server that states another size than it sends: the download fails, the
// file there before stays as it was, and no partial file is left.
TEST_F(SftpHostKeys, ADownloadOfAnotherSizeThanStatedFailsAndKeepsTheOldFile) {
    local_.write("hello.txt", "old copy");
    ASSERT_NO_FATAL_FAILURE(connectWithFault("short:5"));
    ui::ListControl& list = w().远程文件框;
    list.selectItem(list.findItem("hello.txt"));
    clickButton(h_, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return w().下载钮.caption() == "下载" && runningWorkers() == 0; }, kBatchWaitMs));
    EXPECT_TRUE(logHas("hello.txt    下载失败"));
    EXPECT_EQ(w().状态条1.paneText(1), "下载失败 ");
    EXPECT_EQ(local_.read("hello.txt"), "old copy");
    EXPECT_FALSE(platform::pathExists(local_.file("hello.txt.part")));
}

// Several files at once over SFTP, each transfer connection logged in with
// the key of the browsing one and trusting its host key without asking.
TEST_F(SftpWindow, BatchesSpreadOverSeveralConnections) {
    ConnectedWindow& c = *c_;
    c.h.writeSetting(kTransferConnectionsSetting, "3");
    std::vector<std::string> names;
    for (int i = 0; i < 30; ++i) {
        names.push_back("p" + std::to_string(i) + ".dat");
        site_.write(names.back(), std::string(static_cast<std::size_t>(500 + 97 * i), static_cast<char>('A' + i)));
    }
    refresh();
    const std::size_t loginsBefore = countOf(sshd_.log(), "Accepted publickey");
    c.select("远程文件框", names);
    clickButton(c.h, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return batchesEnded(c); }, kBatchWaitMs));
    for (const std::string& name : names)
        EXPECT_EQ(c.local.read(name), readFileBytes(site_.file(name))) << name;
    EXPECT_EQ(c.w().状态条1.paneText(2), "下载个数：30   失败个数：0");
    EXPECT_EQ(countOf(sshd_.log(), "Accepted publickey") - loginsBefore, 3u) << sshd_.log();

    // A tree up and then away again, over the same connections.
    for (int d = 0; d < 3; ++d)
        for (int i = 0; i < 5; ++i)
            c.local.write("up/d" + std::to_string(d) + "/f" + std::to_string(i) + ".txt", std::to_string(d * i));
    listLocalDirectory();
    c.select("上传文件框", {"up"});
    clickButton(c.h, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return batchesEnded(c); }, kBatchWaitMs));
    EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：15  失败数：0");
    for (int d = 0; d < 3; ++d)
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(readFileBytes(site_.file("up/d" + std::to_string(d) + "/f" + std::to_string(i) + ".txt")),
                      std::to_string(d * i));
    refresh();
    c.select("远程文件框", {"up"});
    trigger(c.h, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return batchesEnded(c); }, kBatchWaitMs));
    EXPECT_FALSE(platform::pathExists(site_.file("up")));
    EXPECT_EQ(c.w().状态条1.paneText(1), "删除文件：19个");
    // Idle connections were kept for the later batches, not made again.
    EXPECT_EQ(countOf(sshd_.log(), "Accepted publickey") - loginsBefore, 3u);
}

// A connection cut in the middle of a file: the window's retry connects
// again with the same login and continues the partial file from where it
// broke off.
TEST_F(SftpHostKeys, ACutDownloadIsRetriedAndContinuedFromItsPartialFile) {
    ASSERT_TRUE(writePatternFile(site_.file("big.bin"), 3 * 1024 * 1024 + 5, 7));
    ASSERT_NO_FATAL_FAILURE(connectWithFault("cut:1600000"));
    ui::ListControl& list = w().远程文件框;
    list.selectItem(list.findItem("big.bin"));
    clickButton(h_, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return w().下载钮.caption() == "下载" && runningWorkers() == 0; }, kBatchWaitMs));
    EXPECT_TRUE(logHas("big.bin    第1次重试")) << w().消息框.text();
    EXPECT_TRUE(logHas("big.bin    下载成功")) << w().消息框.text();
    EXPECT_EQ(fileHash(local_.file("big.bin")), fileHash(site_.file("big.bin")));
    // The second read of the file began past its start.
    const std::string log = server_.log();
    const std::size_t second = log.find("read from ", log.find("read from ") + 1);
    ASSERT_NE(second, std::string::npos) << log;
    EXPECT_NE(log.compare(second, 12, "read from 0\n"), 0) << log;
    EXPECT_FALSE(platform::pathExists(local_.file("big.bin.part")));
}

// Three connections each waiting on a read the server never answers: the
// close ends them all at once, every local file stays as it was, and no
// other file is begun.
TEST_F(SftpHostKeys, ClosingTheWindowEndsEveryStalledConnectionOfABatch) {
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back("s" + std::to_string(i) + ".bin");
        site_.write(names.back(), std::string(100000, static_cast<char>('a' + i)));
        local_.write(names.back(), "old " + names.back());
    }
    h_.writeSetting(kTransferConnectionsSetting, "3");
    ASSERT_NO_FATAL_FAILURE(connectWithFault("stall"));
    ui::ListControl& list = w().远程文件框;
    for (const std::string& name : names)
        list.selectItem(list.findItem(name));
    clickButton(h_, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return countOf(server_.log(), "read from") == 3; }, kBatchWaitMs)) << server_.log();
    h_.close();
    EXPECT_EQ(runningWorkers(), 0);
    for (const std::string& name : names) {
        EXPECT_EQ(local_.read(name), "old " + name);
        EXPECT_FALSE(platform::pathExists(local_.file(name + ".part"))) << name;
    }
    server_.stop();
    EXPECT_EQ(countOf(server_.log(), "read from"), 3u) << server_.log();
}
