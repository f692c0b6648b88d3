// The protocol a server speaks, told from its first bytes, which stay in
// the socket for whoever takes the connection over.
#include "platform/ServerGreeting.h"
#include "tests/support/FtpServers.h"
#include "tests/support/SshServers.h"
#include "tests/support/TempFolder.h"
#include "tests/support/LoopbackListener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

using platform::ServerGreeting;
using platform::peekServerGreeting;

namespace {

constexpr int kLongWaitMs = 10000;

// A TCP connection over loopback: client() is ours, server() the peer's.
class LoopbackPair {
public:
    LoopbackPair() {
        int port = 0;
        listener_ = testsupport::listenOnLoopback(1, port);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        client_ = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(client_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        server_ = ::accept(listener_, nullptr, nullptr);
    }
    ~LoopbackPair() {
        for (int fd : {client_, server_, listener_})
            if (fd >= 0)
                ::close(fd);
    }
    int client() const { return client_; }
    void send(const std::string& bytes) const { ASSERT_EQ(::write(server_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    void closeServer() {
        ::close(server_);
        server_ = -1;
    }
    std::string receive(std::size_t size) const {
        std::string bytes(size, '\0');
        const ssize_t n = ::recv(client_, bytes.data(), size, MSG_WAITALL);
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }

private:
    int listener_ = -1;
    int client_ = -1;
    int server_ = -1;
};

int msSince(std::chrono::steady_clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

TEST(ServerGreeting, TellsSshFromOtherTextAndLeavesTheBytesInTheSocket) {
    {
        LoopbackPair pair;
        pair.send("SSH-2.0-OpenSSH_9.2\r\n");
        EXPECT_EQ(peekServerGreeting(pair.client(), kLongWaitMs), ServerGreeting::Ssh);
        EXPECT_EQ(pair.receive(21), "SSH-2.0-OpenSSH_9.2\r\n");
    }
    {
        LoopbackPair pair;
        pair.send("220 Welcome\r\n");
        EXPECT_EQ(peekServerGreeting(pair.client(), kLongWaitMs), ServerGreeting::Ftp);
        EXPECT_EQ(pair.receive(13), "220 Welcome\r\n");
    }
    {
        // Looks like SSH for two bytes only.
        LoopbackPair pair;
        pair.send("SSX");
        EXPECT_EQ(peekServerGreeting(pair.client(), kLongWaitMs), ServerGreeting::Ftp);
    }
}

TEST(ServerGreeting, WaitsForTheRestOfAPrefixThatArrivesInPieces) {
    LoopbackPair pair;
    pair.send("SS");
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pair.send("H-2.0-x\r\n");
    });
    EXPECT_EQ(peekServerGreeting(pair.client(), kLongWaitMs), ServerGreeting::Ssh);
    later.join();
    EXPECT_EQ(pair.receive(4), "SSH-");
}

TEST(ServerGreeting, SilenceClosingAndAbortAreSilent) {
    {
        LoopbackPair pair;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(peekServerGreeting(pair.client(), 200), ServerGreeting::Silent);
        EXPECT_GE(msSince(start), 150);
    }
    {
        LoopbackPair pair;
        pair.closeServer();
        EXPECT_EQ(peekServerGreeting(pair.client(), kLongWaitMs), ServerGreeting::Silent);
    }
    {
        LoopbackPair pair;
        const int abortFd = ::eventfd(0, EFD_CLOEXEC);
        std::thread aborter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            uint64_t one = 1;
            ASSERT_EQ(::write(abortFd, &one, sizeof one), static_cast<ssize_t>(sizeof one));
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(peekServerGreeting(pair.client(), kLongWaitMs, abortFd), ServerGreeting::Silent);
        EXPECT_LT(msSince(start), kLongWaitMs / 2);
        aborter.join();
        ::close(abortFd);
    }
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(ServerGreeting, RecognisesRealSshAndFtpServers) {
    testsupport::TempFolder root;
    testsupport::ScriptedSftpServer ssh;
    testsupport::PyFtpdServer ftp;
    ASSERT_TRUE(ssh.start(root.path()));
    ASSERT_TRUE(ftp.start(root.path()));
    const int toSsh = connectTo(ssh.port());
    const int toFtp = connectTo(ftp.port());
    ASSERT_GE(toSsh, 0);
    ASSERT_GE(toFtp, 0);
    EXPECT_EQ(peekServerGreeting(toSsh, kLongWaitMs), ServerGreeting::Ssh);
    EXPECT_EQ(peekServerGreeting(toFtp, kLongWaitMs), ServerGreeting::Ftp);
    ::close(toSsh);
    ::close(toFtp);
}

} // namespace
