// FtpClient with TLS against a scripted server: what it does when a server
// offers no TLS or refuses to protect data, breaks off the handshake, or
// shows a certificate that does not verify. Real servers that require TLS
// are driven through the window (SecureWindowTest).
#include "ftp/FtpClient.h"
#include "ftp/KnownCertificates.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace testsupport;

namespace {

const FtpTimeouts kShortTimeouts{500, 1000, 500, 1000};

struct CheckCall {
    std::string host;
    int port = 0;
    ftp::ServerCertificate certificate;
};

class TlsTest : public testing::Test {
protected:
    void SetUp() override {
        client_.setTimeouts(kShortTimeouts);
        client_.setCertificateCheck([this](const std::string& host, int port, const ftp::ServerCertificate& c) {
            checks_.push_back({host, port, c});
            return acceptCertificate_;
        });
        server_.setListing("-rw-r--r-- 1 0 0 3 Jan 01 2020 one.txt\r\n");
    }

    // Starts the server with TLS on this certificate.
    void startWithTls(const CertificateFiles& files) {
        ASSERT_FALSE(files.certificate.empty());
        ASSERT_TRUE(server_.enableTls(files.certificate, files.key));
        ASSERT_TRUE(server_.start());
    }

    bool connect() { return client_.connect("127.0.0.1", "user", "pw", server_.port()); }

    bool listsOneFile() {
        std::vector<std::string> names;
        return client_.listDirectory("*", -1, &names) == 1 && names[0] == "one.txt";
    }

    TestCertificates certificates_;
    ScriptedFtpServer server_;
    FtpClient client_;
    std::vector<CheckCall> checks_;
    bool acceptCertificate_ = true;
};

TEST_F(TlsTest, ServerWithoutTlsIsUsedInClearUnlessTlsIsRequired) {
    ASSERT_TRUE(server_.start());
    ASSERT_TRUE(connect());
    ConnectionSecurity security = client_.security();
    EXPECT_FALSE(security.controlProtected);
    EXPECT_FALSE(security.dataProtected);
    EXPECT_TRUE(listsOneFile());
    std::vector<std::string> commands = server_.commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], "AUTH TLS");  // asked before the password goes out
    EXPECT_FALSE(server_.received("PROT"));

    client_.setTlsRequired(true);
    const std::size_t before = server_.commands().size();
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.security().failure, SecurityFailure::TlsNotOffered);
    // Nothing of the login was sent in clear.
    for (std::size_t i = before; i < server_.commands().size(); ++i)
        EXPECT_NE(server_.commands()[i].rfind("USER", 0), 0u) << server_.commands()[i];
    EXPECT_FALSE(client_.isConnected());
}

TEST_F(TlsTest, RefusedDataProtectionLeavesDataInClearUnlessTlsIsRequired) {
    server_.on("PROT", [](ScriptedSession& s, const std::string&) { s.reply("534 PROT P not allowed"); });
    startWithTls(certificates_.selfSigned("server"));
    ASSERT_TRUE(connect());
    ConnectionSecurity security = client_.security();
    EXPECT_TRUE(security.controlProtected);
    EXPECT_FALSE(security.dataProtected);
    EXPECT_TRUE(listsOneFile());

    client_.setTlsRequired(true);
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.security().failure, SecurityFailure::DataProtectionRefused);
    EXPECT_FALSE(client_.isConnected());
}

TEST_F(TlsTest, ProtectedSessionListsDownloadsAndUploadsInBothModes) {
    startWithTls(certificates_.selfSigned("server"));
    server_.setFile("f.bin", std::string(200000, 'f'));
    TempFolder local;
    local.write("up.bin", std::string(150000, 'u'));
    for (bool passive : {false, true}) {
        ASSERT_TRUE(client_.connect("127.0.0.1", "user", "pw", server_.port(), passive));
        ConnectionSecurity security = client_.security();
        EXPECT_TRUE(security.controlProtected && security.dataProtected);
        EXPECT_EQ(security.tlsVersion, "TLSv1.3");
        EXPECT_TRUE(listsOneFile());
        ASSERT_TRUE(client_.getFile("f.bin", local.file("f.bin")));
        EXPECT_EQ(local.read("f.bin"), std::string(200000, 'f'));
        ASSERT_TRUE(client_.putFile(local.file("up.bin"), "up.bin"));
        EXPECT_EQ(server_.upload("up.bin"), std::string(150000, 'u'));
        EXPECT_EQ(client_.isPassive(), passive);
    }
}

TEST_F(TlsTest, DataConnectionWithoutTlsFailsTheTransferAndKeepsTheConversationInStep) {
    startWithTls(certificates_.selfSigned("server"));
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.protectData(false);  // the data connection comes in clear
        if (s.openData()) {
            s.sendData("clear bytes");
            s.closeData();
        }
        s.protectData(true);
        s.reply("522 data connections must be protected");
    });
    ASSERT_TRUE(connect());
    TempFolder local;
    EXPECT_FALSE(client_.getFile("f.bin", local.file("f.bin")));
    EXPECT_FALSE(std::filesystem::exists(local.file("f.bin")));
    // The 522 was taken with the transfer: the next command gets its own reply.
    EXPECT_TRUE(client_.isConnected());
    EXPECT_TRUE(listsOneFile());
}

TEST_F(TlsTest, ServerBreakingOffTheHandshakeFailsTheConnectWithoutFallingBackToClear) {
    CertificateFiles files = certificates_.selfSigned("server");
    ASSERT_TRUE(server_.enableTls(files.certificate, files.key));
    server_.on("AUTH", [](ScriptedSession& s, const std::string&) {
        s.reply("234 go ahead");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the client hello arrives
        s.close();
    });
    ASSERT_TRUE(server_.start());
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.security().failure, SecurityFailure::HandshakeFailed);

    server_.on("AUTH", [](ScriptedSession& s, const std::string&) {
        s.reply("234 go ahead");
        s.send("220 this is no TLS\r\n");
        s.waitForClientClose(3000);
    });
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.security().failure, SecurityFailure::HandshakeFailed);
    EXPECT_EQ(server_.connections(), 2);
    EXPECT_FALSE(server_.received("USER"));
    EXPECT_TRUE(checks_.empty());
}

TEST_F(TlsTest, AbortEndsAStalledHandshakeAtOnce) {
    client_.setTimeouts(FtpTimeouts{});  // the long defaults: only abort() can end it
    CertificateFiles files = certificates_.selfSigned("server");
    ASSERT_TRUE(server_.enableTls(files.certificate, files.key));
    server_.on("AUTH", [](ScriptedSession& s, const std::string&) {
        s.reply("234 go ahead");
        s.waitForClientClose(10000);  // never answers the client hello
    });
    ASSERT_TRUE(server_.start());
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        client_.abort();
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(connect());
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_FALSE(server_.received("USER"));
}

TEST_F(TlsTest, AbortEndsAStalledProtectedTransferAtOnce) {
    client_.setTimeouts(FtpTimeouts{});
    server_.on("RETR", [](ScriptedSession& s, const std::string&) {
        s.reply("150 opening");
        s.openData();
        s.sendData("partial");
        s.waitForClientClose(10000);
    });
    startWithTls(certificates_.selfSigned("server"));
    ASSERT_TRUE(connect());
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        client_.abort();
    });
    auto started = std::chrono::steady_clock::now();
    TempFolder local;
    EXPECT_FALSE(client_.getFile("f", local.file("f")));
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_FALSE(client_.isConnected());
}

TEST_F(TlsTest, CertificateThatDoesNotVerifyIsShownWithWhatIsWrong) {
    CertificateFiles files = certificates_.selfSigned("server");
    startWithTls(files);
    acceptCertificate_ = false;
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.security().failure, SecurityFailure::CertificateRejected);
    EXPECT_FALSE(server_.received("USER"));
    ASSERT_EQ(checks_.size(), 1u);
    const CheckCall& call = checks_[0];
    EXPECT_EQ(call.host, "127.0.0.1");
    EXPECT_EQ(call.port, server_.port());
    EXPECT_EQ(call.certificate.problems, ftp::kCertificateSelfSigned);
    EXPECT_EQ(call.certificate.fingerprint, TestCertificates::fingerprint(files.certificate));
    EXPECT_EQ(call.certificate.subject, "CN=127.0.0.1");
    EXPECT_EQ(call.certificate.issuer, "CN=127.0.0.1");
    EXPECT_EQ(call.certificate.validFrom.size(), 19u);  // "YYYY-MM-DD HH:MM:SS"
    EXPECT_LT(call.certificate.validFrom, call.certificate.validUntil);

    acceptCertificate_ = true;
    ASSERT_TRUE(connect());
    EXPECT_EQ(checks_.size(), 2u);
    EXPECT_TRUE(listsOneFile());
}

TEST_F(TlsTest, WrongHostNameAndExpiryAreFoundEvenWhenTheIssuerIsTrusted) {
    CertificateFiles authority = certificates_.authority("ca");
    client_.setTrustedCertificates(authority.certificate);
    startWithTls(certificates_.signedBy(authority, "right", "127.0.0.1"));
    ASSERT_TRUE(connect());
    EXPECT_TRUE(checks_.empty());  // verified: nobody is asked
    EXPECT_TRUE(listsOneFile());

    server_.stop();
    startWithTls(certificates_.signedBy(authority, "wrong", "wrong.example"));
    acceptCertificate_ = false;
    EXPECT_FALSE(connect());
    ASSERT_EQ(checks_.size(), 1u);
    EXPECT_EQ(checks_[0].certificate.problems, ftp::kCertificateWrongHost);
    EXPECT_EQ(checks_[0].certificate.subject, "CN=wrong.example");
    EXPECT_EQ(checks_[0].certificate.issuer, "O=Tests,CN=Corvane Test CA");

    server_.stop();
    startWithTls(certificates_.expired("expired"));
    EXPECT_FALSE(connect());
    ASSERT_EQ(checks_.size(), 2u);
    EXPECT_EQ(checks_[1].certificate.problems, ftp::kCertificateSelfSigned | ftp::kCertificateExpired);
    EXPECT_EQ(checks_[1].certificate.validUntil, "2020-02-01 00:00:00");
}

TEST_F(TlsTest, ImplicitTlsOnPort990) {
    CertificateFiles files = certificates_.selfSigned("server");
    ASSERT_TRUE(server_.enableTls(files.certificate, files.key));
    server_.setImplicitTls(true);
    if (!server_.start(990))
        GTEST_SKIP() << "port 990 is taken or needs root";
    ASSERT_TRUE(client_.connect("127.0.0.1", "user", "pw", 990));
    EXPECT_TRUE(client_.security().controlProtected);
    EXPECT_TRUE(client_.security().dataProtected);
    EXPECT_FALSE(server_.received("AUTH"));
    EXPECT_TRUE(listsOneFile());
}

TEST(KnownCertificates, OneLinePerServerReadableByItsOwnerOnly) {
    TempFolder folder;
    const std::string path = folder.file("known.txt");
    ftp::KnownCertificates known(path);
    EXPECT_EQ(known.find("ftp.example", 21), "");
    ASSERT_TRUE(known.remember("FTP.Example", 21, "AA:BB"));
    ASSERT_TRUE(known.remember("::1", 990, "CC:DD"));
    ASSERT_TRUE(known.remember("ftp.example", 21, "EE:FF"));  // replaces its line
    EXPECT_FALSE(known.remember("bad host", 21, "11:22"));
    EXPECT_EQ(folder.read("known.txt"), "ftp.example:21 EE:FF\n[::1]:990 CC:DD\n");
    EXPECT_EQ(known.find("ftp.example", 21), "EE:FF");
    EXPECT_EQ(known.find("ftp.example", 2121), "");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

} // namespace
