// A session opened from an address and a port alone: the protocol comes
// from the server's first bytes (real sshd, asyncssh, pyftpdlib, the
// scripted FTP server), and one TCP connection serves the engine chosen.
// The port rules (the SSH port, the implicit-TLS port) are given to the
// detection, so no test needs ports 22 or 990, except the one that runs the
// real implicit-TLS port when it can have it.
#include "remote/OpenSession.h"

#include "ftp/AbortSignal.h"
#include "tests/support/FtpServers.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/SshServers.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/LoopbackListener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using testsupport::OpensshServer;
using testsupport::PyFtpdServer;
using testsupport::ScriptedFtpServer;
using testsupport::ScriptedSftpServer;
using testsupport::TempFolder;

namespace {

const FtpTimeouts kShortTimeouts{5000, 5000, 1000, 60000, 10000};
constexpr int kLongWaitMs = 120000;

// A server that takes connections (in the listen queue) and never says a
// word.
class SilentServer {
public:
    SilentServer() {
        fd_ = testsupport::listenOnLoopback(8, port_, SOCK_CLOEXEC);
    }
    ~SilentServer() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

remote::DetectedServer detect(int port, const remote::DetectionRules& rules = {}) {
    ftp::AbortSignal abort;
    return remote::detectProtocol("127.0.0.1", port, 5000, abort, rules);
}

void closeSocket(const remote::DetectedServer& server) {
    if (server.fd >= 0)
        ::close(server.fd);
}

class OpenSessionTest : public testing::Test {
protected:
    void SetUp() override {
        setup_.timeouts = kShortTimeouts;
        setup_.common = [this](RemoteSession& session) { commonSeen_.push_back(session.protocol()); };
        setup_.ftp = [this](FtpClient&) { ++ftpSetUps_; };
        setup_.sftp = [this](SftpClient& client) {
            ++sftpSetUps_;
            client.setKnownHostsFile("");
            client.setTrustedKnownHostsFile("");
            client.setSshDirectory(sshDirectory_);
            client.setHostKeyCheck([](const std::string&, int, const sftp::HostKey&) { return true; });
        };
    }

    TempFolder site_;
    remote::SessionSetup setup_;
    std::string sshDirectory_;
    std::vector<Protocol> commonSeen_;
    int ftpSetUps_ = 0;
    int sftpSetUps_ = 0;
};

TEST_F(OpenSessionTest, AnSshServerOnAnyPortIsSpokenToOverSftp) {
    site_.write("hello.txt", "hello");
    ScriptedSftpServer scripted;
    ASSERT_TRUE(scripted.start(site_.path()));
    const remote::DetectedServer found = detect(scripted.port());
    closeSocket(found);
    EXPECT_EQ(found.protocol, Protocol::Sftp);
    EXPECT_TRUE(found.peeked);

    remote::OpenedSession opened = remote::openSession(
        {"127.0.0.1", scripted.port(), testsupport::kSftpUser, testsupport::kSftpPassword}, setup_);
    ASSERT_TRUE(opened.connected);
    ASSERT_NE(opened.session, nullptr);
    EXPECT_EQ(opened.session->protocol(), Protocol::Sftp);
    EXPECT_EQ(commonSeen_, std::vector<Protocol>{Protocol::Sftp});
    EXPECT_EQ(sftpSetUps_, 1);
    EXPECT_EQ(ftpSetUps_, 0);
    EXPECT_EQ(opened.session->security().protection.rfind("SSH ", 0), 0u);
    const DirectoryListing listing = opened.session->listEntries("/");
    ASSERT_TRUE(listing.complete);
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].name, "hello.txt");

    // OpenSSH's sshd, with its key login.
    OpensshServer sshd;
    if (!sshd.available())
        GTEST_SKIP() << "sshd runs only as root";
    ASSERT_TRUE(sshd.start(site_.path())) << sshd.log();
    sshDirectory_ = sshd.clientKeyFolder();
    opened = remote::openSession({"127.0.0.1", sshd.port(), "root", ""}, setup_);
    ASSERT_TRUE(opened.connected) << sshd.log();
    EXPECT_EQ(opened.session->protocol(), Protocol::Sftp);
    EXPECT_TRUE(opened.session->listEntries("").complete);
}

TEST_F(OpenSessionTest, AnFtpServerIsSpokenToOverFtpOnTheSameConnection) {
    site_.write("hello.txt", "hello");
    PyFtpdServer ftp;
    ASSERT_TRUE(ftp.start(site_.path()));
    const remote::DetectedServer found = detect(ftp.port());
    closeSocket(found);
    EXPECT_EQ(found.protocol, Protocol::Ftp);
    EXPECT_TRUE(found.peeked);

    remote::OpenedSession opened = remote::openSession(
        {"127.0.0.1", ftp.port(), testsupport::kPyFtpdUser, testsupport::kPyFtpdPassword, true}, setup_);
    ASSERT_TRUE(opened.connected);
    EXPECT_EQ(opened.session->protocol(), Protocol::Ftp);
    EXPECT_EQ(ftpSetUps_, 1);
    EXPECT_EQ(sftpSetUps_, 0);
    EXPECT_EQ(opened.session->security().protection, "");
    std::vector<std::string> names;
    EXPECT_EQ(opened.session->listDirectory("*", -1, &names), 1);
    EXPECT_EQ(names, std::vector<std::string>{"hello.txt"});
    // A reconnect makes a connection of its own.
    opened.session->abort();
    EXPECT_FALSE(opened.session->listEntries("").complete);
    ASSERT_TRUE(opened.session->reconnect());
    EXPECT_TRUE(opened.session->listEntries("").complete);

    // A wrong password: the session tells why.
    opened = remote::openSession({"127.0.0.1", ftp.port(), testsupport::kPyFtpdUser, "wrong"}, setup_);
    ASSERT_NE(opened.session, nullptr);
    EXPECT_FALSE(opened.connected);
    EXPECT_EQ(opened.failure, TransferFailure::Permanent);
}

TEST_F(OpenSessionTest, SilenceMeansSftpOnlyOnTheSshPort) {
    SilentServer silent;
    remote::DetectionRules rules;
    rules.silenceWaitMs = 300;
    rules.sshPort = silent.port();
    remote::DetectedServer found = detect(silent.port(), rules);
    closeSocket(found);
    EXPECT_EQ(found.protocol, Protocol::Sftp);
    EXPECT_TRUE(found.peeked);
    EXPECT_GE(found.fd, 0);

    rules.sshPort = silent.port() == 22 ? 23 : 22;
    found = detect(silent.port(), rules);
    closeSocket(found);
    EXPECT_EQ(found.protocol, Protocol::Ftp);
    EXPECT_TRUE(found.peeked);
}

TEST_F(OpenSessionTest, AnFtpServerThatGreetsLateIsStillFtp) {
    ScriptedFtpServer server;
    server.setGreetingDelay(1500);
    ASSERT_TRUE(server.start());
    remote::DetectionRules rules;
    rules.silenceWaitMs = 200;
    remote::OpenedSession opened = remote::openSession({"127.0.0.1", server.port(), "user", "pw"}, setup_, rules);
    ASSERT_TRUE(opened.connected);
    EXPECT_EQ(opened.session->protocol(), Protocol::Ftp);
}

TEST_F(OpenSessionTest, TheImplicitTlsPortIsNeverPeekedAt) {
    // Such a server waits for our TLS hello: a wait for its greeting would
    // take the whole (long) silence wait.
    SilentServer silent;
    remote::DetectionRules rules;
    rules.silenceWaitMs = kLongWaitMs;
    rules.implicitTlsPort = silent.port();
    rules.sshPort = silent.port();
    const remote::DetectedServer found = detect(silent.port(), rules);
    closeSocket(found);
    EXPECT_EQ(found.protocol, Protocol::Ftp);
    EXPECT_FALSE(found.peeked);
    EXPECT_GE(found.fd, 0);

    // The real port 990, when this test may have it.
    testsupport::TestCertificates certificates;
    const testsupport::CertificateFiles files = certificates.selfSigned("server");
    ScriptedFtpServer server;
    ASSERT_TRUE(server.enableTls(files.certificate, files.key));
    server.setImplicitTls(true);
    if (!server.start(990))
        GTEST_SKIP() << "port 990 is taken or needs root";
    setup_.ftp = [](FtpClient& client) {
        client.setCertificateCheck([](const std::string&, int, const ftp::ServerCertificate&) { return true; });
    };
    const remote::OpenedSession opened = remote::openSession({"127.0.0.1", 990, "user", "pw"}, setup_);
    ASSERT_TRUE(opened.connected);
    EXPECT_EQ(opened.session->protocol(), Protocol::Ftp);
    EXPECT_TRUE(opened.session->security().controlProtected);
    EXPECT_FALSE(server.received("AUTH"));
}

TEST_F(OpenSessionTest, AnSshServerAtItsLimitIsAnSshServerThatHasNoRoom) {
    OpensshServer sshd;
    if (!sshd.available())
        GTEST_SKIP() << "sshd runs only as root";
    ASSERT_TRUE(sshd.start(site_.path(), "MaxStartups 1\n")) << sshd.log();
    // A connection that has not logged in holds the one place.
    const remote::DetectedServer holder = detect(sshd.port());
    ASSERT_EQ(holder.protocol, Protocol::Sftp);
    const remote::OpenedSession opened = remote::openSession({"127.0.0.1", sshd.port(), "root", ""}, setup_);
    closeSocket(holder);
    ASSERT_NE(opened.session, nullptr);
    EXPECT_EQ(opened.session->protocol(), Protocol::Sftp);
    EXPECT_FALSE(opened.connected);
    EXPECT_EQ(opened.failure, TransferFailure::TooManyConnections);
}

TEST_F(OpenSessionTest, AServerThatCannotBeReachedOrAStopHasNoSession) {
    int closedPort = 0;
    {
        SilentServer gone;
        closedPort = gone.port();
    }
    remote::OpenedSession opened = remote::openSession({"127.0.0.1", closedPort, "u", "p"}, setup_);
    EXPECT_EQ(opened.session, nullptr);
    EXPECT_FALSE(opened.connected);
    EXPECT_EQ(opened.failure, TransferFailure::Transient);

    // Stopped while the server says nothing: without the stop this would
    // wait the whole silence wait and hand the connection to FTP.
    SilentServer silent;
    remote::DetectionRules rules;
    rules.silenceWaitMs = kLongWaitMs;
    ftp::AbortSignal abort;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        abort.raise();
    });
    opened = remote::openSession({"127.0.0.1", silent.port(), "u", "p"}, setup_, rules, &abort);
    stopper.join();
    EXPECT_EQ(opened.session, nullptr);
    EXPECT_EQ(opened.failure, TransferFailure::Aborted);
}

} // namespace
