// FtpClient against real servers: pyftpdlib (MLSD, 125 replies, connects
// back at once on PORT) and vsftpd (LIST only, numeric owners), in active
// mode unless a test says otherwise.
#include "ftp/FtpClient.h"
#include "ftp/PartialFile.h"
#include "platform/TextCodec.h"
#include "tests/support/FtpServers.h"
#include "tests/support/LargeFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempFolder;

namespace {

enum class ServerKind { PyFtpd, Vsftpd };

std::string kindName(const testing::TestParamInfo<ServerKind>& info) {
    return info.param == ServerKind::PyFtpd ? "pyftpdlib" : "vsftpd";
}

class RealServerTest : public testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        root_.makeFolder("pub");
        if (GetParam() == ServerKind::Vsftpd) {
            if (!vsftpd_.available())
                GTEST_SKIP() << "vsftpd needs root";
            ASSERT_TRUE(vsftpd_.start(root_.path())) << vsftpd_.errors();
            port_ = vsftpd_.port();
            user_ = "anonymous";
        } else {
            ASSERT_TRUE(pyftpd_.start(root_.path()));
            port_ = pyftpd_.port();
            user_ = testsupport::kPyFtpdUser;
            password_ = testsupport::kPyFtpdPassword;
        }
    }

    bool connect(bool passive = false) { return client_.connect("127.0.0.1", user_, password_, port_, passive); }

    // A file in the server's writable folder "pub", usable by the login.
    void addRemoteFile(const std::string& relative, const std::string& bytes) {
        root_.write("pub/" + relative, bytes);
        handOver("pub/" + relative);
    }
    void addRemoteFolder(const std::string& relative) {
        root_.makeFolder("pub/" + relative);
        handOver("pub/" + relative);
    }
    void handOver(const std::string& relative) {
        if (GetParam() == ServerKind::Vsftpd) {
            ASSERT_TRUE(testsupport::VsftpdServer::handOver(root_.file(relative)));
        }
    }

    std::vector<std::string> remoteNames(const std::string& pattern, int filter = -1) {
        std::vector<std::string> names;
        client_.listDirectory(pattern, filter, &names);
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder root_;
    TempFolder local_;
    testsupport::PyFtpdServer pyftpd_;
    testsupport::VsftpdServer vsftpd_;
    FtpClient client_;
    int port_ = 0;
    std::string user_;
    std::string password_;
};

TEST_P(RealServerTest, ConnectsShowsStartDirectoryAndDisconnects) {
    ASSERT_TRUE(connect());
    EXPECT_TRUE(client_.isConnected());
    EXPECT_EQ(client_.currentDirectory(), "/");
    client_.disconnect();
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(client_.currentDirectory(), "");
    EXPECT_FALSE(client_.setCurrentDirectory("/pub"));
}

TEST_P(RealServerTest, RefusedLoginAndFailedReconnectLeaveTheClientDisconnected) {
    EXPECT_FALSE(client_.connect("127.0.0.1", "nosuchuser", "wrong", port_));
    EXPECT_FALSE(client_.isConnected());

    ASSERT_TRUE(connect());
    int closedPort = testsupport::findFreePort();
    EXPECT_FALSE(client_.connect("127.0.0.1", user_, password_, closedPort));
    EXPECT_FALSE(client_.isConnected());
    EXPECT_EQ(client_.listDirectory("/pub/*"), 0);
    // And the client still works afterwards.
    ASSERT_TRUE(connect());
    EXPECT_EQ(client_.currentDirectory(), "/");
}

TEST_P(RealServerTest, ListingGivesNamesAttributesSizesAndTimes) {
    addRemoteFile("a.txt", "hello, world\n");
    addRemoteFile("name with  spaces.txt", "12345");
    addRemoteFile("中文文件.txt", "zh");
    addRemoteFile("locked.dat", "x");
    ::chmod(root_.file("pub/locked.dat").c_str(), 0444);
    addRemoteFolder("folder");
    ASSERT_TRUE(connect());

    std::vector<std::string> names;
    std::vector<int> attributes;
    std::vector<int64_t> sizes;
    std::vector<RemoteTime> times;
    ASSERT_EQ(client_.listDirectory("/pub/*.*", -1, &names, &attributes, &sizes, &times), 5);
    ASSERT_EQ(attributes.size(), 5u);
    ASSERT_EQ(sizes.size(), 5u);
    ASSERT_EQ(times.size(), 5u);
    auto at = [&](const std::string& name) {
        auto it = std::find(names.begin(), names.end(), name);
        EXPECT_NE(it, names.end()) << name;
        return it == names.end() ? 0 : static_cast<std::size_t>(it - names.begin());
    };
    EXPECT_EQ(sizes[at("a.txt")], 13);
    EXPECT_EQ(attributes[at("a.txt")], 128);
    EXPECT_EQ(sizes[at("name with  spaces.txt")], 5);
    EXPECT_EQ(sizes[at("中文文件.txt")], 2);
    // pyftpdlib's MLSD perm fact follows the login's rights, not the mode.
    if (GetParam() == ServerKind::Vsftpd) {
        EXPECT_EQ(attributes[at("locked.dat")], 129);
    }
    EXPECT_EQ(attributes[at("folder")] & 16, 16);
    EXPECT_GE(times[at("a.txt")].year, 2020);
    EXPECT_GE(times[at("a.txt")].month, 1);

    EXPECT_EQ(remoteNames("/pub/*", 16), std::vector<std::string>{"folder"});
    EXPECT_EQ(remoteNames("/pub/*.txt"), (std::vector<std::string>{"a.txt", "name with  spaces.txt", "中文文件.txt"}));
    EXPECT_EQ(remoteNames("/pub/?.txt"), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(client_.listDirectory("/pub/nothing*"), 0);
    EXPECT_EQ(client_.listDirectory("/no/such/dir/*"), 0);
    EXPECT_TRUE(client_.isConnected());
    EXPECT_FALSE(client_.isPassive());
}

TEST_P(RealServerTest, ManagesFilesAndFoldersWithChineseNames) {
    local_.write("up.txt", "upload body");
    ASSERT_TRUE(connect());
    ASSERT_TRUE(client_.makeDirectory("/pub/新目录"));
    ASSERT_TRUE(client_.setCurrentDirectory("/pub/新目录"));
    EXPECT_EQ(client_.currentDirectory(), "/pub/新目录");
    ASSERT_TRUE(client_.putFile(local_.file("up.txt"), "上传.txt"));
    EXPECT_EQ(client_.transferredBytes(), 11);
    EXPECT_EQ(remoteNames("*"), std::vector<std::string>{"上传.txt"});
    EXPECT_EQ(client_.transferredBytes(), 11);  // listings do not count
    ASSERT_TRUE(client_.renameFile("上传.txt", "改名.txt"));
    ASSERT_TRUE(client_.getFile("/pub/新目录/改名.txt", local_.file("back.txt")));
    EXPECT_EQ(local_.read("back.txt"), "upload body");
    EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(local_.file("back.txt"))));

    EXPECT_FALSE(client_.removeDirectory("/pub/新目录"));  // not empty yet
    ASSERT_TRUE(client_.deleteFile("改名.txt"));
    EXPECT_FALSE(client_.deleteFile("改名.txt"));
    ASSERT_TRUE(client_.setCurrentDirectory("/pub"));
    ASSERT_TRUE(client_.removeDirectory("新目录"));
    EXPECT_FALSE(std::filesystem::exists(root_.file("pub/新目录")));
    EXPECT_FALSE(client_.setCurrentDirectory("/pub/新目录"));
    EXPECT_TRUE(client_.isConnected());
    EXPECT_FALSE(client_.isPassive());
}

TEST_P(RealServerTest, DownloadReplacesTheLocalFileOnlyWhenComplete) {
    addRemoteFile("new.txt", "new content");
    local_.write("target.txt", "old content that is longer");
    ASSERT_TRUE(connect());
    EXPECT_FALSE(client_.getFile("/pub/missing.txt", local_.file("target.txt")));
    EXPECT_EQ(local_.read("target.txt"), "old content that is longer");
    EXPECT_FALSE(std::filesystem::exists(ftp::preferredPartialPath(local_.file("target.txt"))));

    ASSERT_TRUE(client_.getFile("/pub/new.txt", local_.file("target.txt")));
    EXPECT_EQ(local_.read("target.txt"), "new content");
    EXPECT_FALSE(client_.putFile(local_.file("no-such-local-file"), "/pub/x"));
}

bool isLinkTo(const std::string& path, const std::string& target) {
    std::error_code error;
    return std::filesystem::is_symlink(path, error) && std::filesystem::read_symlink(path, error) == target;
}

// Names beside the target that look like partial files belong to someone
// else (a browser's unfinished download, links to other files): a download
// never opens, truncates or removes them, whether it succeeds or fails. A
// link at the final name is replaced, its target kept.
TEST_P(RealServerTest, ADownloadTouchesOnlyItsOwnPartialFileAndTheTarget) {
    addRemoteFile("new.txt", "new content");
    TempFolder outside;
    outside.write("v1", "victim one");
    outside.write("v2", "victim two");
    outside.write("v3", "victim three");
    const std::string target = local_.file("t.txt");
    ASSERT_EQ(::symlink(outside.file("v1").c_str(), (target + ".part").c_str()), 0);
    ASSERT_EQ(::link(outside.file("v2").c_str(), (target + ".1.part").c_str()), 0);
    local_.write("t.txt.2.part", "a browser's half file");
    ASSERT_EQ(::symlink(outside.file("v3").c_str(), target.c_str()), 0);
    ASSERT_TRUE(connect());

    auto othersUntouched = [&] {
        EXPECT_TRUE(isLinkTo(target + ".part", outside.file("v1")));
        EXPECT_EQ(local_.read("t.txt.1.part"), "victim two");
        EXPECT_EQ(local_.read("t.txt.2.part"), "a browser's half file");
        EXPECT_EQ(outside.read("v1"), "victim one");
        EXPECT_EQ(outside.read("v2"), "victim two");
        EXPECT_EQ(outside.read("v3"), "victim three");
    };
    EXPECT_FALSE(client_.getFile("/pub/missing.txt", target));
    othersUntouched();
    EXPECT_TRUE(isLinkTo(target, outside.file("v3")));
    ASSERT_TRUE(client_.getFile("/pub/new.txt", target));
    othersUntouched();
    EXPECT_FALSE(std::filesystem::is_symlink(target));
    EXPECT_EQ(local_.read("t.txt"), "new content");
    EXPECT_FALSE(std::filesystem::exists(target + ".3.part"));
}

// Names up to the longest a file system takes download, though NAME.part
// would be longer than that.
TEST_P(RealServerTest, NamesOfUpTo255BytesDownload) {
    std::string chinese;
    for (int i = 0; i < 85; ++i)
        chinese += "文";  // 255 bytes
    const std::vector<std::string> names = {std::string(251, 'a'), std::string(255, 'b'), chinese};
    for (const std::string& name : names)
        addRemoteFile(name, "body of " + name.substr(0, 3));
    ASSERT_TRUE(connect());
    for (const std::string& name : names) {
        ASSERT_TRUE(client_.getFile("/pub/" + name, local_.file(name))) << name.size();
        EXPECT_EQ(local_.read(name), "body of " + name.substr(0, 3));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local_.path()), {}), 3);
}

// Two downloads to one local name at once: the file ends up as one of them
// whole, and both say they arrived.
TEST_P(RealServerTest, TwoDownloadsToOneNameLeaveOneWholeFile) {
    const std::string first(3 * 1024 * 1024, '1');
    const std::string second(3 * 1024 * 1024 + 7, '2');
    addRemoteFile("one.bin", first);
    addRemoteFile("two.bin", second);
    FtpClient other;
    ASSERT_TRUE(connect());
    ASSERT_TRUE(other.connect("127.0.0.1", user_, password_, port_));
    const std::string target = local_.file("same.bin");
    bool otherOk = false;
    std::thread t([&] { otherOk = other.getFile("/pub/two.bin", target); });
    const bool ok = client_.getFile("/pub/one.bin", target);
    t.join();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(otherOk);
    const std::string result = local_.read("same.bin");
    EXPECT_TRUE(result == first || result == second) << result.size();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local_.path()), {}), 1);
}

TEST_P(RealServerTest, PassiveModeWorksWhenAskedFor) {
    addRemoteFile("p.bin", std::string(100000, 'p'));
    ASSERT_TRUE(connect(true));
    EXPECT_TRUE(client_.isPassive());
    EXPECT_EQ(remoteNames("/pub/*"), std::vector<std::string>{"p.bin"});
    ASSERT_TRUE(client_.getFile("/pub/p.bin", local_.file("p.bin")));
    EXPECT_EQ(local_.read("p.bin"), std::string(100000, 'p'));
}

TEST_P(RealServerTest, TextModeConvertsLineEndings) {
    local_.write("lines.txt", "one\ntwo\n");
    ASSERT_TRUE(connect());
    ASSERT_TRUE(client_.putFile(local_.file("lines.txt"), "/pub/lines.txt", true));
    // pyftpdlib stores LF, vsftpd keeps the CR LF of the wire.
    std::string stored = root_.read("pub/lines.txt");
    EXPECT_TRUE(stored == "one\ntwo\n" || stored == "one\r\ntwo\r\n") << stored;
    ASSERT_TRUE(client_.getFile("/pub/lines.txt", local_.file("back.txt"), true));
    EXPECT_EQ(local_.read("back.txt"), "one\ntwo\n");
    ASSERT_TRUE(client_.getFile("/pub/lines.txt", local_.file("binary.txt")));
    EXPECT_EQ(local_.read("binary.txt"), stored);
}

TEST_P(RealServerTest, HundredMegabyteFileRoundTripKeepsEveryByte) {
    const int64_t size = 100ll * 1024 * 1024;
    ASSERT_TRUE(testsupport::writePatternFile(local_.file("big.bin"), size, 7));
    uint64_t hash = testsupport::fileHash(local_.file("big.bin"));
    ASSERT_TRUE(connect());
    ASSERT_TRUE(client_.putFile(local_.file("big.bin"), "/pub/大文件.bin"));
    EXPECT_EQ(client_.transferredBytes(), size);
    EXPECT_EQ(testsupport::fileHash(root_.file("pub/大文件.bin")), hash);
    std::vector<int64_t> sizes;
    ASSERT_EQ(client_.listDirectory("/pub/大文件.bin", -1, nullptr, nullptr, &sizes), 1);
    EXPECT_EQ(sizes[0], size);
    ASSERT_TRUE(client_.getFile("/pub/大文件.bin", local_.file("down.bin")));
    EXPECT_EQ(client_.transferredBytes(), size);
    EXPECT_EQ(testsupport::fileHash(local_.file("down.bin")), hash);
    EXPECT_FALSE(client_.isPassive());
}

TEST_P(RealServerTest, TwoThreadsShareOneClientWithoutMixingCommands) {
    for (int i = 0; i < 5; ++i)
        addRemoteFile("f" + std::to_string(i) + ".txt", std::string(1000 + i, 'a' + i));
    ASSERT_TRUE(connect());
    std::atomic<int> failures{0};
    auto worker = [&](int id) {
        for (int round = 0; round < 10; ++round) {
            int i = (round + id) % 5;
            std::string local = local_.file("t" + std::to_string(id) + "-" + std::to_string(round));
            if (!client_.getFile("/pub/f" + std::to_string(i) + ".txt", local) ||
                testsupport::readFileBytes(local) != std::string(1000 + i, 'a' + i))
                ++failures;
            if (client_.listDirectory("/pub/*") != 5)
                ++failures;
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(client_.isConnected());
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerTest, testing::Values(ServerKind::PyFtpd, ServerKind::Vsftpd),
                         kindName);

// vsftpd sends names in the bytes they have on disk: a GBK name from a
// Chinese Windows server must be listed, downloaded, renamed and deleted.
TEST(VsftpdGbkNames, GbkNameIsListedDownloadedRenamedAndDeleted) {
    testsupport::VsftpdServer server;
    if (!server.available())
        GTEST_SKIP() << "vsftpd needs root";
    TempFolder root, local;
    std::string gbkName = platform::utf8ToGb18030("报告.txt");
    root.write("pub/" + gbkName, "gbk file");
    ASSERT_TRUE(server.start(root.path())) << server.errors();

    FtpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", "anonymous", "", server.port()));
    std::vector<std::string> names;
    ASSERT_EQ(client.listDirectory("/pub/*", -1, &names), 1);
    EXPECT_EQ(names[0], "报告.txt");
    ASSERT_TRUE(client.getFile("/pub/报告.txt", local.file("r.txt")));
    EXPECT_EQ(local.read("r.txt"), "gbk file");
    ASSERT_TRUE(client.renameFile("/pub/报告.txt", "/pub/renamed.txt"));
    EXPECT_TRUE(std::filesystem::exists(root.file("pub/renamed.txt")));
    ASSERT_TRUE(client.deleteFile("/pub/renamed.txt"));
    EXPECT_EQ(client.listDirectory("/pub/*"), 0);
}

} // namespace
