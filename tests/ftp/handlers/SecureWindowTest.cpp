// Secure connections through the real main window: real servers that
// require TLS on control and data connections (vsftpd also requires every
// data connection to resume the control connection's session), in active
// and passive mode, TLS 1.2 and 1.3; a server that had TLS and later has
// none; and the certificate questions and the TLS-only setting against
// the scripted server.
#include "ftp/FtpClient.h"
#include "ftp/handlers/CertificateTrust.h"
#include "ftp/handlers/ConnectHandlers.h"
#include "ftp/handlers/ConnectSetup.h"
#include "ftp/handlers/CurrentSession.h"
#include "local/LocalBrowser.h"
#include "platform/LocalFiles.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TcpRelay.h"
#include "tests/support/TestCertificates.h"
#include "tests/transfer/TransferTestSupport.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testsupport;

namespace {

constexpr int kBatchWaitMs = 180000;

enum class ServerKind { Vsftpd, PyFtpd };

struct Setup {
    ServerKind kind;
    bool passive;
    bool tls12;
};

std::string setupName(const testing::TestParamInfo<Setup>& info) {
    return std::string(info.param.kind == ServerKind::Vsftpd ? "vsftpd" : "pyftpdlib") +
           (info.param.passive ? "_passive" : "_active") + (info.param.tls12 ? "_tls12" : "_tls13");
}

void clickButton(ConnectedWindow& c, const char* name) {
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>(name), Qt::LeftButton);
}

void trigger(ConnectedWindow& c, const char* caption) {
    c.h.form()->findChild<QAction*>(QString::fromUtf8(caption))->trigger();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Connects from now on also trust certificates of this authority (empty:
// the system's alone).
void trustAuthority(const std::string& pemFile) {
    if (pemFile.empty())
        setExtraSessionSetup({}, {});
    else
        setExtraSessionSetup([pemFile](FtpClient& client) { client.setTrustedCertificates(pemFile); }, {});
}

int fileMode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

class SecureWindow : public testing::TestWithParam<Setup> {
protected:
    void SetUp() override {
        server_ = certificates_.selfSigned("server");
        ASSERT_FALSE(server_.certificate.empty());
        ServerTls tls{server_.certificate, server_.key, GetParam().tls12, GetParam().passive};
        site_.write("pub/hello.txt", "hello");
        if (GetParam().kind == ServerKind::Vsftpd) {
            if (!vsftpd_.available())
                GTEST_SKIP() << "vsftpd needs root";
            ASSERT_TRUE(vsftpd_.start(site_.path(), &tls)) << vsftpd_.errors();
            port_ = vsftpd_.port();
        } else {
            ASSERT_TRUE(pyftpd_.startTls(site_.path(), tls));
            port_ = pyftpd_.port();
            user_ = kPyFtpdUser;
            password_ = kPyFtpdPassword;
        }
    }

    bool uploadEnded(ConnectedWindow& c) { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }
    bool downloadEnded(ConnectedWindow& c) { return c.w().下载钮.caption() == "下载" && runningWorkers() == 0; }

    TestCertificates certificates_;
    CertificateFiles server_;
    TempFolder site_;
    VsftpdServer vsftpd_;
    PyFtpdServer pyftpd_;
    int port_ = 0;
    std::string user_ = "anonymous";
    std::string password_ = "guest";
};

TEST_P(SecureWindow, ListsTransfersUploadsFoldersAndDeletesOverTls) {
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::Yes);  // trust the self-signed certificate
    ConnectedWindow c(port_, user_, password_, "/pub");
    ASSERT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.titles()[0], "证书验证");
    EXPECT_TRUE(contains(answers.texts()[0], TestCertificates::fingerprint(server_.certificate)));
    EXPECT_TRUE(contains(answers.texts()[0], "自签名证书"));
    EXPECT_TRUE(c.logHas(GetParam().tls12 ? "连接已加密（TLSv1.2）" : "连接已加密（TLSv1.3）"));
    EXPECT_EQ(c.h.folder().read("zhengshu.txt"), "127.0.0.1:" + std::to_string(port_) + " " +
                                                     TestCertificates::fingerprint(server_.certificate) + "\n");
    EXPECT_EQ(fileMode(c.h.folder().file("zhengshu.txt")), 0600);
    EXPECT_GE(c.w().远程文件框.findItem("hello.txt"), 0);

    // 100 MB up and back down, every byte checked.
    const int64_t size = 100ll * 1024 * 1024;
    ASSERT_TRUE(writePatternFile(c.local.file("big.bin"), size, 18));
    const uint64_t hash = fileHash(c.local.file("big.bin"));
    listLocalDirectory();
    c.select("上传文件框", {"big.bin"});
    clickButton(c, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return uploadEnded(c); }, kBatchWaitMs));
    EXPECT_EQ(fileHash(site_.file("pub/big.bin")), hash);
    ASSERT_TRUE(platform::removeFile(c.local.file("big.bin")));
    c.select("远程文件框", {"big.bin"});
    clickButton(c, "下载钮");
    ASSERT_TRUE(waitUntil([&] { return downloadEnded(c); }, kBatchWaitMs));
    EXPECT_EQ(fileHash(c.local.file("big.bin")), hash);
    EXPECT_EQ(static_cast<FtpClient&>(*currentSession()).isPassive(), GetParam().passive);

    // A folder tree up, then deleted on the server.
    c.local.write("tree/a.txt", "A");
    c.local.write("tree/sub/b.txt", "B");
    c.local.write("tree/sub/deeper/c.txt", "C");
    listLocalDirectory();
    c.select("上传文件框", {"tree"});
    clickButton(c, "上传钮");
    ASSERT_TRUE(waitUntil([&] { return uploadEnded(c); }, kBatchWaitMs));
    EXPECT_EQ(site_.read("pub/tree/sub/deeper/c.txt"), "C");
    EXPECT_EQ(c.w().状态条1.paneText(2), "上传数：3  失败数：0");
    c.select("远程文件框", {"tree"});
    trigger(c, "删除文件或目录(&S)");
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && c.w().状态条1.paneText(1) != "正在删除文件..."; },
                          kBatchWaitMs));
    EXPECT_FALSE(platform::pathExists(site_.file("pub/tree")));
    EXPECT_EQ(c.w().远程文件框.findItem("tree"), -1);

    // The remembered certificate is not asked about again.
    connectServer();
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(answers.seen(), 1);
}

INSTANTIATE_TEST_SUITE_P(Servers, SecureWindow,
                         testing::Values(Setup{ServerKind::Vsftpd, false, false}, Setup{ServerKind::Vsftpd, false, true},
                                         Setup{ServerKind::Vsftpd, true, false}, Setup{ServerKind::Vsftpd, true, true},
                                         Setup{ServerKind::PyFtpd, false, false}, Setup{ServerKind::PyFtpd, false, true},
                                         Setup{ServerKind::PyFtpd, true, false}, Setup{ServerKind::PyFtpd, true, true}),
                         setupName);

// vsftpd with a certificate that verifies, then restarted without TLS
// behind the same address (a relay keeps it): the login in clear waits for
// the user, whose No sends nothing more and whose Yes counts once.
TEST(SecureRestart, ServerThatHadTlsAndNowHasNoneIsNotLoggedIntoWithoutAQuestion) {
    VsftpdServer vsftpd;
    if (!vsftpd.available())
        GTEST_SKIP() << "vsftpd needs root";
    TestCertificates certificates;
    CertificateFiles authority = certificates.authority("ca");
    CertificateFiles server = certificates.signedBy(authority, "server", "127.0.0.1");
    TempFolder site;
    site.write("pub/hello.txt", "hello");
    ServerTls tls{server.certificate, server.key};
    ASSERT_TRUE(vsftpd.start(site.path(), &tls)) << vsftpd.errors();
    TcpRelay relay;
    ASSERT_TRUE(relay.start(vsftpd.port()));
    const std::string key = "127.0.0.1:" + std::to_string(relay.port());
    trustAuthority(authority.certificate);
    DialogAnswerer answers;
    ConnectedWindow c(relay.port(), "anonymous", "guest", "/pub");
    ASSERT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(answers.seen(), 0);  // verified: nothing to ask
    EXPECT_TRUE(c.logHas("连接已加密（TLSv1.3）"));
    EXPECT_EQ(c.h.folder().read("zhengshu.txt"), key + "\n");

    vsftpd.stop();
    ASSERT_TRUE(vsftpd.start(site.path())) << vsftpd.errors();
    relay.setTarget(vsftpd.port());
    answers.queueButton(QMessageBox::No);
    connectServer();
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器失败！");
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.titles()[0], "安全警告");
    EXPECT_TRUE(contains(answers.texts()[0], "服务器 " + key + " 以前使用加密连接，现在不加密"));
    EXPECT_TRUE(c.logHas("服务器以前使用加密连接，现在不加密，已取消连接"));
    ASSERT_TRUE(waitUntil([&] { return relay.finishedConnections() == relay.connections(); }));
    EXPECT_EQ(relay.clientBytes().back(), "AUTH TLS\r\n");

    answers.queueButton(QMessageBox::Yes);
    connectServer();
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(answers.seen(), 2);
    EXPECT_TRUE(c.logHas("连接未加密"));
    EXPECT_GE(c.w().远程文件框.findItem("hello.txt"), 0);
    EXPECT_TRUE(contains(relay.clientBytes().back(), "USER anonymous\r\n"));

    // Yes was for that connect only.
    answers.queueButton(QMessageBox::No);
    connectServer();
    EXPECT_EQ(answers.seen(), 3);
    EXPECT_EQ(c.w().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_EQ(c.h.folder().read("zhengshu.txt"), key + "\n");
    trustAuthority("");
}

// The scripted server, for certificates and servers real ones do not give.
class SecureConnect : public testing::Test {
protected:
    void TearDown() override { trustAuthority(""); }

    std::unique_ptr<ConnectedWindow> openWindow() {
        auto c = std::make_unique<ConnectedWindow>(server_.port(), "user", "pw");
        return c;
    }

    TestCertificates certificates_;
    ScriptedFtpServer server_;
};

TEST_F(SecureConnect, ChangedCertificateIsWarnedAboutAndStopsTheConnectUnlessAccepted) {
    CertificateFiles files = certificates_.selfSigned("new");
    ASSERT_TRUE(server_.enableTls(files.certificate, files.key));
    ASSERT_TRUE(server_.start());
    const std::string key = "127.0.0.1:" + std::to_string(server_.port());
    const std::string fingerprint = TestCertificates::fingerprint(files.certificate);
    const std::string old = "11:22:33";
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::No);
    MainWindowHarness h;
    writeFileBytes(h.folder().file("zhengshu.txt"), "other.example:21 AA:BB\n" + key + " " + old + "\n");
    h.writeSetting("IP信息", "测试|127.0.0.1|" + std::to_string(server_.port()) + "|user|pw");
    h.open();
    connectServer();
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器失败！");
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_EQ(answers.titles()[0], "安全警告");
    EXPECT_TRUE(contains(answers.texts()[0], old));
    EXPECT_TRUE(contains(answers.texts()[0], fingerprint));
    EXPECT_TRUE(contains(h.controls().消息框.text(), "服务器证书未被信任，已取消连接"));
    EXPECT_FALSE(server_.received("USER"));
    EXPECT_EQ(h.folder().read("zhengshu.txt"), "other.example:21 AA:BB\n" + key + " " + old + "\n");

    answers.queueButton(QMessageBox::Yes);
    connectServer();
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(answers.seen(), 2);
    EXPECT_EQ(h.folder().read("zhengshu.txt"), "other.example:21 AA:BB\n" + key + " " + fingerprint + "\n");
}

TEST_F(SecureConnect, WrongHostAndExpiredCertificatesAreAskedAboutWithTheReason) {
    CertificateFiles authority = certificates_.authority("ca");
    CertificateFiles wrong = certificates_.signedBy(authority, "wrong", "wrong.example");
    trustAuthority(authority.certificate);
    ASSERT_TRUE(server_.enableTls(wrong.certificate, wrong.key));
    ASSERT_TRUE(server_.start());
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::No);
    auto c = openWindow();
    EXPECT_EQ(c->w().状态条1.paneText(0), "连接服务器失败！");
    ASSERT_EQ(answers.seen(), 1);
    EXPECT_TRUE(contains(answers.texts()[0], "证书与服务器名称不符"));
    EXPECT_FALSE(contains(answers.texts()[0], "自签名证书"));
    EXPECT_TRUE(contains(answers.texts()[0], "颁发给：CN=wrong.example"));
    EXPECT_FALSE(platform::pathExists(c->h.folder().file("zhengshu.txt")));

    server_.stop();
    CertificateFiles expired = certificates_.expired("expired");
    ASSERT_TRUE(server_.enableTls(expired.certificate, expired.key));
    ASSERT_TRUE(server_.start());
    c->h.writeSetting("IP信息", "测试|127.0.0.1|" + std::to_string(server_.port()) + "|user|pw");
    answers.queueButton(QMessageBox::No);
    connectServer();
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_TRUE(contains(answers.texts()[1], "证书已过期"));
    EXPECT_TRUE(contains(answers.texts()[1], "至 2020-02-01 00:00:00"));
}

// A server whose certificate the user accepted counts as seen with TLS; a
// server never seen with TLS is used in clear without a question; with
// "仅用加密连接" on, a clear server is refused unasked.
TEST_F(SecureConnect, OnlyServersSeenWithTlsAreAskedAboutWhenTheyOfferNone) {
    CertificateFiles files = certificates_.selfSigned("server");
    ASSERT_TRUE(server_.enableTls(files.certificate, files.key));
    ASSERT_TRUE(server_.start());
    const int port = server_.port();
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::Yes);  // the self-signed certificate
    auto c = openWindow();
    ASSERT_EQ(c->w().状态条1.paneText(0), "连接服务器成功");
    ASSERT_EQ(answers.seen(), 1);

    server_.stop();
    server_.disableTls();
    ASSERT_TRUE(server_.start(port));
    answers.queueButton(QMessageBox::No);
    connectServer();
    EXPECT_EQ(c->w().状态条1.paneText(0), "连接服务器失败！");
    ASSERT_EQ(answers.seen(), 2);
    EXPECT_EQ(answers.titles()[1], "安全警告");
    EXPECT_TRUE(contains(answers.texts()[1], "以前使用加密连接，现在不加密"));
    ASSERT_TRUE(waitUntil([&] { return server_.finishedConnections() == server_.connections(); }));
    EXPECT_EQ(server_.controlBytes().back(), "AUTH TLS\r\n");

    c->h.writeSetting("仅用加密连接", "真");
    connectServer();
    EXPECT_EQ(c->w().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_TRUE(contains(c->w().消息框.text(), "服务器不支持加密连接，按“仅用加密连接”设置未连接\n"));
    EXPECT_EQ(answers.seen(), 2);
    c->h.writeSetting("仅用加密连接", "假");

    ScriptedFtpServer neverSecure;
    ASSERT_TRUE(neverSecure.start());
    c->h.writeSetting("IP信息", "测试|127.0.0.1|" + std::to_string(neverSecure.port()) + "|user|pw");
    answers.queueButton(QMessageBox::No);  // would refuse, were it asked
    connectServer();
    EXPECT_EQ(c->w().状态条1.paneText(0), "连接服务器成功");
    EXPECT_EQ(answers.seen(), 2);
    EXPECT_TRUE(neverSecure.received("USER"));
}

TEST_F(SecureConnect, TlsOnlyIsAMenuToggleThatRefusesClearServersWithAReason) {
    ASSERT_TRUE(server_.start());  // no TLS
    MainWindowHarness h;
    h.writeSetting("IP信息", "测试|127.0.0.1|" + std::to_string(server_.port()) + "|user|pw");
    h.open();
    QAction* item = h.form()->findChild<QAction*>(QString::fromUtf8("仅用加密连接(&T)"));
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isChecked());
    connectServer();
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器成功");
    EXPECT_TRUE(contains(h.controls().消息框.text(), "连接未加密\n"));

    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(h.readSetting("仅用加密连接"), "真");
    connectServer();
    EXPECT_EQ(h.controls().状态条1.paneText(0), "连接服务器失败！");
    EXPECT_TRUE(contains(h.controls().消息框.text(), "服务器不支持加密连接，按“仅用加密连接”设置未连接\n"));
    h.close();

    // Kept across starts.
    MainWindowHarness again;
    again.writeSetting("仅用加密连接", "真");
    again.open();
    EXPECT_TRUE(again.form()->findChild<QAction*>(QString::fromUtf8("仅用加密连接(&T)"))->isChecked());
    again.form()->findChild<QAction*>(QString::fromUtf8("仅用加密连接(&T)"))->trigger();
    EXPECT_EQ(again.readSetting("仅用加密连接"), "假");
}

} // namespace
