// FtpClient with TLS against a scripted server: what it does when a server
// offers no TLS or refuses to protect data, breaks off the handshake, shows
// a certificate that does not verify, or ends a protected data stream
// without close_notify. Real servers that require TLS are driven through
// the window (SecureWindowTest).
#include "ftp/FtpClient.h"
#include "ftp/KnownCertificates.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using namespace testsupport;

namespace {

const FtpTimeouts kShortTimeouts{500, 1000, 500, 1000};

// Waits on a condition another thread makes true, with a generous limit.
bool waitFor(const std::function<bool()>& condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

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
        EXPECT_EQ(security.protection, "TLSv1.3");
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

TEST_F(TlsTest, ImplicitTlsOnPort990NeverFallsBackToClear) {
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

    // The same port in clear: no login, not even with a check that would
    // allow one and TLS not required.
    int clearChecks = 0;
    client_.setClearLoginCheck([&](const std::string&, int) { return ++clearChecks > 0; });
    server_.stop();
    server_.disableTls();
    server_.setImplicitTls(false);
    ASSERT_TRUE(server_.start(990));
    const std::size_t before = server_.commands().size();
    EXPECT_FALSE(client_.connect("127.0.0.1", "user", "pw", 990));
    EXPECT_EQ(client_.security().failure, SecurityFailure::HandshakeFailed);
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(clearChecks, 0);
    for (std::size_t i = before; i < server_.commands().size(); ++i) {
        EXPECT_EQ(server_.commands()[i].find("USER"), std::string::npos);
        EXPECT_EQ(server_.commands()[i].find("PASS"), std::string::npos);
    }
}

// Servers seen with TLS and now without: the engine asks its check before
// anything but AUTH TLS goes out in clear, and sends nothing more on a No.
TEST_F(TlsTest, ClearLoginAfterRefusedAuthTlsWaitsForTheCheck) {
    CertificateFiles authority = certificates_.authority("ca");
    client_.setTrustedCertificates(authority.certificate);
    std::vector<int> verifiedPorts;
    client_.setVerifiedServerNote([&](const std::string& host, int port) {
        EXPECT_EQ(host, "127.0.0.1");
        verifiedPorts.push_back(port);
    });
    std::vector<std::string> asked;
    bool allow = false;
    client_.setClearLoginCheck([&](const std::string& host, int port) {
        asked.push_back(ftp::serverKey(host, port));
        return allow;
    });
    startWithTls(certificates_.signedBy(authority, "server", "127.0.0.1"));
    const int port = server_.port();
    ASSERT_TRUE(connect());
    EXPECT_EQ(verifiedPorts, std::vector<int>{port});
    EXPECT_TRUE(asked.empty());

    // Restarted on the same port without TLS.
    server_.stop();
    server_.disableTls();
    ASSERT_TRUE(server_.start(port));
    EXPECT_FALSE(connect());
    EXPECT_EQ(asked, std::vector<std::string>{"127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(client_.security().failure, SecurityFailure::ClearLoginRefused);
    EXPECT_FALSE(client_.isConnected());
    ASSERT_TRUE(waitFor([&] { return server_.finishedConnections() == server_.connections(); }));
    EXPECT_EQ(server_.controlBytes().back(), "AUTH TLS\r\n");  // no USER, no PASS, not even QUIT

    allow = true;
    ASSERT_TRUE(connect());
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_FALSE(client_.security().controlProtected);
    EXPECT_TRUE(listsOneFile());

    // With TLS required the server is refused as before, unasked.
    client_.setTlsRequired(true);
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.security().failure, SecurityFailure::TlsNotOffered);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(verifiedPorts.size(), 1u);
}

// A protected stream that ends without close_notify may have been cut
// short: a download then counts only when a size it can be checked against
// matches; the old local file stays otherwise.
TEST_F(TlsTest, DownloadCutWithoutCloseNotifyNeedsAMatchingSize) {
    const std::string whole(300000, 'w');
    // Sends `sent` bytes of the file after a 150 reply ending in `announced`.
    auto serveCut = [&](const std::string& announced, std::size_t sent) {
        server_.on("RETR", [announced, bytes = whole.substr(0, sent)](ScriptedSession& s, const std::string&) {
            s.reply("150 opening" + announced);
            if (s.openData()) {
                s.sendData(bytes);
                s.cutData();
            }
            s.reply("226 done");
        });
    };
    auto answerSize = [&](const std::string& line) {
        server_.on("SIZE", [line](ScriptedSession& s, const std::string&) { s.reply(line); });
    };
    answerSize("500 unknown command");
    startWithTls(certificates_.selfSigned("server"));
    ASSERT_TRUE(connect());
    TempFolder local;
    local.write("f.bin", "old");
    auto download = [&](int64_t listed) { return client_.getFile("f.bin", local.file("f.bin"), false, listed); };
    const int64_t size = static_cast<int64_t>(whole.size());

    // No size anywhere: half a file followed by 226 is not taken, nor a whole one.
    serveCut("", whole.size() / 2);
    EXPECT_FALSE(download(-1));
    EXPECT_EQ(local.read("f.bin"), "old");
    serveCut("", whole.size());
    EXPECT_FALSE(download(-1));
    EXPECT_EQ(local.read("f.bin"), "old");
    EXPECT_TRUE(server_.received("SIZE"));  // asked although FEAT did not name it
    EXPECT_FALSE(client_.getFile("f.bin", local.file("f.bin"), true));  // text mode: nothing to check
    EXPECT_EQ(local.read("f.bin"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.path()), {}), 1);  // no partial file left
    EXPECT_TRUE(client_.isConnected());

    // A size known from the listing, the 150 reply or SIZE: checked as ever.
    EXPECT_TRUE(download(size));
    EXPECT_EQ(local.read("f.bin"), whole);
    local.write("f.bin", "old");
    serveCut("", whole.size() / 2);
    EXPECT_FALSE(download(size));
    serveCut(" (" + std::to_string(size) + " bytes)", whole.size() / 2);
    EXPECT_FALSE(download(-1));
    EXPECT_EQ(local.read("f.bin"), "old");
    serveCut(" (" + std::to_string(size) + " bytes)", whole.size());
    EXPECT_TRUE(download(-1));
    EXPECT_EQ(local.read("f.bin"), whole);
    local.write("f.bin", "old");
    serveCut("", whole.size());
    answerSize("213 " + std::to_string(size));
    EXPECT_TRUE(download(-1));
    EXPECT_EQ(local.read("f.bin"), whole);
}

TEST_F(TlsTest, ListingCutWithoutCloseNotifyFailsWithoutItsFinalReply) {
    const std::string lines = "-rw-r--r-- 1 0 0 3 Jan 01 2020 one.txt\r\n-rw-r--r-- 1 0 0 3 Jan 01 2020 two.txt\r\n";
    // Half the listing, cut; then `reply`, or the end of the control
    // connection when it is empty.
    auto serveCut = [&](const std::string& reply) {
        server_.on("LIST", [reply, half = lines.substr(0, lines.size() / 2 + 5)](ScriptedSession& s,
                                                                                const std::string&) {
            s.reply("150 here it comes");
            if (s.openData()) {
                s.sendData(half);
                s.cutData();
            }
            if (reply.empty())
                s.close();
            else
                s.reply(reply);
        });
    };
    startWithTls(certificates_.selfSigned("server"));
    ASSERT_TRUE(connect());
    serveCut("426 connection closed; transfer aborted");
    DirectoryListing cut = client_.listEntries("");
    EXPECT_FALSE(cut.complete);
    EXPECT_TRUE(cut.entries.empty());
    EXPECT_TRUE(client_.isConnected());

    serveCut("");
    cut = client_.listEntries("");
    EXPECT_FALSE(cut.complete);
    EXPECT_TRUE(cut.entries.empty());
    EXPECT_FALSE(client_.isConnected());
}

// An upload may be cut on its way to the server when the server ends the
// stream without close_notify: what it stored is then asked with SIZE.
// Ended with close_notify, nothing is asked.
TEST_F(TlsTest, UploadTheServerEndsWithoutCloseNotifyCountsOnlyWithTheStoredSize) {
    // Reads at most `readAtMost` bytes, then ends the stream.
    auto serveStor = [&](std::size_t readAtMost, bool closeNotify) {
        server_.on("STOR", [readAtMost, closeNotify](ScriptedSession& s, const std::string& name) {
            s.reply("150 send it");
            if (!s.openData()) {
                s.reply("425 no data connection");
                return;
            }
            s.server().setUpload(name, s.receiveData(readAtMost));
            if (closeNotify)
                s.closeData();
            else
                s.cutData();
            s.reply("226 stored");
        });
    };
    auto answerSize = [&](const std::string& line) {
        server_.on("SIZE", [line](ScriptedSession& s, const std::string&) { s.reply(line); });
    };
    auto sizeQuestions = [&] {
        const std::vector<std::string> commands = server_.commands();
        return std::count(commands.begin(), commands.end(), "SIZE up.bin");
    };
    serveStor(SIZE_MAX, false);
    answerSize("500 unknown command");
    startWithTls(certificates_.selfSigned("server"));
    ASSERT_TRUE(connect());
    TempFolder local;
    const std::string bytes(200000, 'u');
    local.write("up.bin", bytes);
    auto upload = [&] { return client_.putFile(local.file("up.bin"), "up.bin"); };

    EXPECT_FALSE(upload());  // no SIZE: nothing tells what arrived
    EXPECT_EQ(server_.upload("up.bin"), bytes);
    answerSize("213 " + std::to_string(bytes.size()));
    EXPECT_TRUE(upload());
    answerSize("213 " + std::to_string(bytes.size() - 1));
    EXPECT_FALSE(upload());
    EXPECT_FALSE(client_.putFile(local.file("up.bin"), "up.bin", true));  // text mode: nothing to compare
    EXPECT_EQ(sizeQuestions(), 3);
    EXPECT_TRUE(client_.isConnected());

    // A server that cuts the stream early and still answers 226.
    local.write("big.bin", std::string(8 << 20, 'b'));
    serveStor(65536, false);
    answerSize("213 65536");
    EXPECT_FALSE(client_.putFile(local.file("big.bin"), "big.bin"));
    EXPECT_EQ(server_.upload("big.bin").size(), 65536u);
    EXPECT_TRUE(client_.isConnected());

    serveStor(SIZE_MAX, true);
    EXPECT_TRUE(upload());
    EXPECT_EQ(server_.upload("up.bin"), bytes);
    EXPECT_EQ(sizeQuestions(), 3);
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

// Servers whose certificate verified get a line of their key alone, which
// readers of the older file skip; a fingerprint line says as much and is
// never weakened to one.
TEST(KnownCertificates, VerifiedServersAreKnownWithoutATrustedCertificate) {
    TempFolder folder;
    ftp::KnownCertificates known(folder.file("known.txt"));
    folder.write("known.txt", "old.example:21 AA:BB\r\n\nnoise\n");
    EXPECT_TRUE(known.knows("old.example", 21));
    EXPECT_FALSE(known.knows("new.example", 21));
    ASSERT_TRUE(known.rememberVerified("New.Example", 21));
    ASSERT_TRUE(known.rememberVerified("old.example", 21));
    EXPECT_EQ(known.find("old.example", 21), "AA:BB");
    EXPECT_TRUE(known.knows("new.example", 21));
    EXPECT_EQ(known.find("new.example", 21), "");  // nothing trusted beyond verification
    ASSERT_TRUE(known.remember("other.example", 990, "CC:DD"));
    EXPECT_EQ(folder.read("known.txt"), "old.example:21 AA:BB\nnoise\nnew.example:21\nother.example:990 CC:DD\n");
    ASSERT_TRUE(known.remember("new.example", 21, "EE:FF"));  // accepted later: the fingerprint replaces it
    EXPECT_EQ(known.find("new.example", 21), "EE:FF");
    EXPECT_FALSE(known.rememberVerified("bad host", 21));
}

} // namespace
