// SftpClient against a real OpenSSH sshd (internal-sftp, key login), the
// server most SFTP users meet. sshd only runs as root; the tests skip
// themselves otherwise.
#include "sftp/SftpClient.h"

#include "platform/ServerGreeting.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/SshServers.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using testsupport::OpensshServer;
using testsupport::SshKeyPair;
using testsupport::TempFolder;
using testsupport::fileHash;
using testsupport::knownHostsLine;
using testsupport::readFileBytes;
using testsupport::writeFileBytes;
using testsupport::writePatternFile;

namespace {

const RemoteEntry* findEntry(const DirectoryListing& listing, const std::string& name) {
    for (const RemoteEntry& entry : listing.entries)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class SftpOpensshTest : public testing::Test {
protected:
    void SetUp() override {
        if (!server_.available())
            GTEST_SKIP() << "sshd runs only as root";
        ASSERT_TRUE(server_.start(site_.path())) << server_.log();
        client_.setSshDirectory(server_.clientKeyFolder());
        client_.setKnownHostsFile(ownKnownHosts());
        client_.setTrustedKnownHostsFile(userKnownHosts());
        client_.setHostKeyCheck([this](const std::string& host, int port, const sftp::HostKey& key) {
            EXPECT_EQ(host, "127.0.0.1");
            EXPECT_EQ(port, server_.port());
            asked_.push_back(key);
            return accept_;
        });
    }

    bool connect() { return client_.connect("127.0.0.1", "root", "", server_.port()); }
    std::string ownKnownHosts() const { return settings_.file("known_hosts"); }
    std::string userKnownHosts() const { return settings_.file("user_known_hosts"); }
    std::string sitePath() const { return std::filesystem::canonical(site_.path()).string(); }

    TempFolder site_;
    TempFolder local_;
    TempFolder settings_;
    OpensshServer server_;
    SftpClient client_;
    std::vector<sftp::HostKey> asked_;
    bool accept_ = true;
};

TEST_F(SftpOpensshTest, FirstUseAsksKeepsTheKeyAndTrustsItLater) {
    ASSERT_TRUE(connect()) << server_.log();
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].keyType, "ssh-ed25519");
    EXPECT_EQ(asked_[0].fingerprint, server_.hostKey().fingerprint());
    EXPECT_FALSE(asked_[0].changed);
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Accepted);
    EXPECT_EQ(readFileBytes(ownKnownHosts()), knownHostsLine(server_.hostKey(), server_.port()));
    EXPECT_EQ(modeOf(ownKnownHosts()), 0600u);

    const ConnectionSecurity security = client_.security();
    EXPECT_TRUE(security.controlProtected);
    EXPECT_TRUE(security.dataProtected);
    EXPECT_EQ(security.protection.rfind("SSH ", 0), 0u) << security.protection;
    EXPECT_EQ(client_.currentDirectory(), sitePath());

    client_.disconnect();
    EXPECT_FALSE(client_.isConnected());
    ASSERT_TRUE(connect());
    EXPECT_EQ(asked_.size(), 1u);
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Known);
    // Known keys are not written again.
    EXPECT_EQ(readFileBytes(ownKnownHosts()), knownHostsLine(server_.hostKey(), server_.port()));
}

TEST_F(SftpOpensshTest, KeyFileIsWrittenThroughALinkAndAfterALineWithoutItsEnd) {
    settings_.write("real_known_hosts", "other.example ssh-ed25519 AAAA");
    std::filesystem::create_symlink(settings_.file("real_known_hosts"), ownKnownHosts());
    ASSERT_TRUE(connect());
    EXPECT_TRUE(std::filesystem::is_symlink(ownKnownHosts()));
    EXPECT_EQ(readFileBytes(settings_.file("real_known_hosts")),
              "other.example ssh-ed25519 AAAA\n" + knownHostsLine(server_.hostKey(), server_.port()));
}

TEST_F(SftpOpensshTest, RefusedKeyIsNotKept) {
    accept_ = false;
    EXPECT_FALSE(connect());
    EXPECT_EQ(asked_.size(), 1u);
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Rejected);
    EXPECT_EQ(client_.security().failure, SecurityFailure::CertificateRejected);
    EXPECT_FALSE(std::filesystem::exists(ownKnownHosts()));
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(server_.log().find("Accepted publickey"), std::string::npos) << server_.log();
}

TEST_F(SftpOpensshTest, ChangedKeyIsReportedAndNeverUsed) {
    SshKeyPair other;
    ASSERT_TRUE(other.make(settings_.file("other_key")));
    writeFileBytes(ownKnownHosts(), knownHostsLine(other, server_.port()));
    EXPECT_FALSE(connect());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_TRUE(asked_[0].changed);
    EXPECT_EQ(asked_[0].fingerprint, server_.hostKey().fingerprint());
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Changed);
    EXPECT_FALSE(client_.isConnected());
    // The record stays as it was.
    EXPECT_EQ(readFileBytes(ownKnownHosts()), knownHostsLine(other, server_.port()));

    // The same in the user's own file, and when the check says yes.
    std::filesystem::remove(ownKnownHosts());
    writeFileBytes(userKnownHosts(), knownHostsLine(other, server_.port()));
    EXPECT_FALSE(connect());
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Changed);
    EXPECT_FALSE(std::filesystem::exists(ownKnownHosts()));
}

TEST_F(SftpOpensshTest, UserKnownHostsIsTrustedHashedAndNeverWritten) {
    writeFileBytes(userKnownHosts(), knownHostsLine(server_.hostKey(), server_.port()));
    // Hashed names, as Debian's ssh writes them by default.
    ASSERT_TRUE(testsupport::runToEnd({"/usr/bin/ssh-keygen", "-q", "-H", "-f", userKnownHosts()}));
    const std::string hashed = readFileBytes(userKnownHosts());
    ASSERT_EQ(hashed.rfind("|1|", 0), 0u) << hashed;
    ASSERT_TRUE(connect());
    EXPECT_TRUE(asked_.empty());
    EXPECT_EQ(client_.hostKeyVerdict(), sftp::HostKeyVerdict::Known);
    EXPECT_EQ(readFileBytes(userKnownHosts()), hashed);
    EXPECT_FALSE(std::filesystem::exists(ownKnownHosts()));
}

TEST_F(SftpOpensshTest, FilesGoUpAndComeBackWhole) {
    ASSERT_TRUE(connect());
    constexpr int64_t kSize = 3 * 1024 * 1024 + 12345;
    ASSERT_TRUE(writePatternFile(local_.file("big.bin"), kSize, 7));
    local_.write("empty.bin", "");
    ASSERT_TRUE(client_.putFile(local_.file("big.bin"), "big.bin"));
    EXPECT_EQ(client_.transferredBytes(), kSize);
    ASSERT_TRUE(client_.putFile(local_.file("empty.bin"), sitePath() + "/empty.bin"));
    EXPECT_EQ(fileHash(site_.file("big.bin")), fileHash(local_.file("big.bin")));
    EXPECT_EQ(std::filesystem::file_size(site_.file("empty.bin")), 0u);

    // Downloads replace what is there, and leave no partial file behind.
    local_.write("back.bin", "old contents");
    ASSERT_TRUE(client_.getFile("big.bin", local_.file("back.bin")));
    EXPECT_EQ(client_.transferredBytes(), kSize);
    EXPECT_EQ(fileHash(local_.file("back.bin")), fileHash(local_.file("big.bin")));
    ASSERT_TRUE(client_.getFile("empty.bin", local_.file("empty-back.bin")));
    EXPECT_EQ(std::filesystem::file_size(local_.file("empty-back.bin")), 0u);
    EXPECT_FALSE(std::filesystem::exists(client_.partialPathFor(local_.file("back.bin"))));

    EXPECT_FALSE(client_.getFile("missing.bin", local_.file("missing.bin")));
    EXPECT_FALSE(std::filesystem::exists(local_.file("missing.bin")));
    EXPECT_FALSE(client_.putFile(local_.file("no-such-file"), "x.bin"));
    site_.makeFolder("folder");
    EXPECT_FALSE(client_.getFile("folder", local_.file("folder")));
    EXPECT_FALSE(std::filesystem::exists(local_.file("folder")));
    EXPECT_TRUE(client_.isConnected());
}

// Files that fit in one read go by the listing's size in two round trips;
// the server still has the last word on their size and bytes.
TEST_F(SftpOpensshTest, SmallFilesComeWholeByTheListingsSizeAndTheServersWord) {
    // OpenSSH takes reads of 255 KiB: the last two sizes are on either side.
    const std::vector<int64_t> sizes = {0, 1, 1000, 4096, 70000, 255 * 1024, 255 * 1024 + 1};
    std::map<std::string, int64_t> made;
    for (std::size_t i = 0; i < 60; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        made[name] = sizes[i % sizes.size()];
        ASSERT_TRUE(writePatternFile(site_.file(name), made[name], static_cast<uint32_t>(i + 1)));
    }
    ASSERT_TRUE(connect());
    const DirectoryListing listing = client_.listEntries("");
    ASSERT_TRUE(listing.complete);
    ASSERT_EQ(listing.entries.size(), made.size());
    for (const RemoteEntry& entry : listing.entries) {
        ASSERT_EQ(entry.size, made[entry.name]) << entry.name;
        ASSERT_TRUE(client_.getFile(entry.name, local_.file(entry.name), false, entry.size)) << entry.name;
        EXPECT_EQ(client_.transferredBytes(), entry.size) << entry.name;
        EXPECT_EQ(fileHash(local_.file(entry.name)), fileHash(site_.file(entry.name))) << entry.name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local_.path()), {}),
              static_cast<std::ptrdiff_t>(made.size()));

    // The files changed since the listing: the server's size counts.
    ASSERT_TRUE(writePatternFile(site_.file("f2.bin"), 1500, 99));   // listed at 1000
    ASSERT_TRUE(writePatternFile(site_.file("f3.bin"), 10, 98));     // listed at 4096
    ASSERT_TRUE(writePatternFile(site_.file("f0.bin"), 300000, 97));  // listed empty
    for (const char* name : {"f2.bin", "f3.bin", "f0.bin"}) {
        ASSERT_TRUE(client_.getFile(name, local_.file(name), false, made[name])) << name;
        EXPECT_EQ(fileHash(local_.file(name)), fileHash(site_.file(name))) << name;
    }
    // Gone since the listing, or a folder: nothing arrives, the old file stays.
    std::filesystem::remove(site_.file("f1.bin"));
    local_.write("f1.bin", "old contents");
    EXPECT_FALSE(client_.getFile("f1.bin", local_.file("f1.bin"), false, 1));
    EXPECT_EQ(local_.read("f1.bin"), "old contents");
    site_.makeFolder("folder");
    EXPECT_FALSE(client_.getFile("folder", local_.file("folder"), false, 0));
    EXPECT_FALSE(std::filesystem::exists(local_.file("folder")));
    // The connection is still in step for what comes next.
    EXPECT_TRUE(client_.isConnected());
    EXPECT_EQ(client_.listEntries("").entries.size(), made.size());
    ASSERT_TRUE(client_.putFile(local_.file("f4.bin"), "up.bin"));
    EXPECT_EQ(fileHash(site_.file("up.bin")), fileHash(local_.file("f4.bin")));
}

TEST_F(SftpOpensshTest, ListingTellsFoldersFilesAndLinks) {
    site_.makeFolder("dir");
    site_.write("f.txt", "12345");
    std::filesystem::create_symlink("dir", site_.file("link-to-dir"));
    std::filesystem::create_symlink("f.txt", site_.file("link-to-file"));
    std::filesystem::create_symlink("nowhere", site_.file("dangling"));
    const timeval times[2] = {{1700000000, 0}, {1700000000, 0}};  // 2023-11-14 22:13:20 UTC
    ASSERT_EQ(::utimes(site_.file("f.txt").c_str(), times), 0);
    ASSERT_EQ(::chmod(site_.file("f.txt").c_str(), 0444), 0);
    ASSERT_TRUE(connect());

    for (bool confirm : {false, true}) {
        const DirectoryListing listing = client_.listEntries("", confirm);
        ASSERT_TRUE(listing.complete);
        EXPECT_EQ(listing.entries.size(), 5u);
        EXPECT_EQ(findEntry(listing, "."), nullptr);
        EXPECT_EQ(findEntry(listing, ".."), nullptr);
        const RemoteEntry* dir = findEntry(listing, "dir");
        ASSERT_NE(dir, nullptr);
        EXPECT_TRUE(dir->isDirectory());
        EXPECT_FALSE(dir->isLink());
        const RemoteEntry* file = findEntry(listing, "f.txt");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->attributes, ftp::kAttrNormal | ftp::kAttrReadOnly);
        EXPECT_EQ(file->size, 5);
        EXPECT_EQ(file->time.year, 2023);
        EXPECT_EQ(file->time.month, 11);
        EXPECT_EQ(file->time.day, 14);
        EXPECT_EQ(file->time.hour, 22);
        EXPECT_EQ(file->time.minute, 13);
        EXPECT_EQ(file->time.second, 20);
        for (const char* name : {"link-to-dir", "link-to-file", "dangling"}) {
            const RemoteEntry* link = findEntry(listing, name);
            ASSERT_NE(link, nullptr) << name;
            EXPECT_TRUE(link->isLink()) << name;
            EXPECT_FALSE(link->isDirectory()) << name;
        }
    }
    EXPECT_EQ(client_.listEntries(sitePath() + "/dir").entries.size(), 0u);
    EXPECT_TRUE(client_.listEntries(sitePath() + "/dir").complete);
    EXPECT_FALSE(client_.listEntries("no-such-dir").complete);

    std::vector<std::string> names;
    std::vector<int64_t> sizes;
    EXPECT_EQ(client_.listDirectory(sitePath() + "/*.txt", -1, &names, nullptr, &sizes), 1);
    EXPECT_EQ(names, std::vector<std::string>{"f.txt"});
    EXPECT_EQ(sizes, std::vector<int64_t>{5});
    EXPECT_EQ(client_.listDirectory("*.*", ftp::kAttrDirectory, &names), 1);
    EXPECT_EQ(names, std::vector<std::string>{"dir"});
}

TEST_F(SftpOpensshTest, RenameNeverReplacesAndFoldersComeAndGo) {
    site_.write("a.txt", "a");
    site_.write("b.txt", "b");
    ASSERT_TRUE(connect());
    EXPECT_FALSE(client_.renameFile("a.txt", "b.txt"));
    EXPECT_EQ(site_.read("a.txt"), "a");
    EXPECT_EQ(site_.read("b.txt"), "b");
    EXPECT_TRUE(client_.renameFile("a.txt", "c.txt"));
    EXPECT_EQ(site_.read("c.txt"), "a");
    EXPECT_FALSE(std::filesystem::exists(site_.file("a.txt")));

    std::string created;
    ASSERT_TRUE(client_.makeDirectory("new folder", created));
    EXPECT_EQ(created, "new folder");
    EXPECT_TRUE(std::filesystem::is_directory(site_.file("new folder")));
    EXPECT_FALSE(client_.makeDirectory("new folder"));
    ASSERT_TRUE(client_.setCurrentDirectory("new folder"));
    EXPECT_EQ(client_.currentDirectory(), sitePath() + "/new folder");
    ASSERT_TRUE(client_.putFile(site_.file("b.txt"), "inside.txt"));
    EXPECT_EQ(site_.read("new folder/inside.txt"), "b");
    ASSERT_TRUE(client_.setCurrentDirectory(".."));
    EXPECT_EQ(client_.currentDirectory(), sitePath());
    EXPECT_FALSE(client_.setCurrentDirectory("b.txt"));
    EXPECT_FALSE(client_.setCurrentDirectory("missing"));
    EXPECT_EQ(client_.currentDirectory(), sitePath());

    EXPECT_FALSE(client_.removeDirectory("new folder"));  // not empty
    EXPECT_TRUE(client_.deleteFile("new folder/inside.txt"));
    EXPECT_TRUE(client_.removeDirectory("new folder"));
    EXPECT_FALSE(std::filesystem::exists(site_.file("new folder")));

    // A link is deleted itself, never its target.
    std::filesystem::create_symlink("b.txt", site_.file("link"));
    EXPECT_TRUE(client_.deleteFile("link"));
    EXPECT_FALSE(std::filesystem::is_symlink(site_.file("link")));
    EXPECT_EQ(site_.read("b.txt"), "b");
}

TEST_F(SftpOpensshTest, AbortFromAnotherThreadEndsADownloadAtOnce) {
    // Sparse: large to read, nothing on disk.
    {
        std::FILE* f = std::fopen(site_.file("huge.bin").c_str(), "w");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(::ftruncate(::fileno(f), int64_t{8} << 30), 0);
        std::fclose(f);
    }
    ASSERT_TRUE(connect());
    local_.write("huge.bin", "old");
    auto download = std::async(std::launch::async, [&] { return client_.getFile("huge.bin", local_.file("huge.bin")); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (client_.transferredBytes() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(client_.transferredBytes(), 0);
    const auto aborted = std::chrono::steady_clock::now();
    client_.abort();
    ASSERT_EQ(download.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::seconds(5));
    EXPECT_FALSE(download.get());
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(local_.read("huge.bin"), "old");
    EXPECT_FALSE(std::filesystem::exists(client_.partialPathFor(local_.file("huge.bin"))));
    EXPECT_TRUE(connect());
}

TEST_F(SftpOpensshTest, TakesOverAConnectionWhoseGreetingWasPeekedAt) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server_.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(platform::peekServerGreeting(fd, 10000), platform::ServerGreeting::Ssh);
    ASSERT_TRUE(client_.connectOnSocket(fd, "127.0.0.1", "root", "", server_.port()));
    EXPECT_TRUE(client_.listEntries("").complete);
}

} // namespace
