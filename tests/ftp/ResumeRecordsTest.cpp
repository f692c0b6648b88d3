// The record file of partial downloads that are ours to continue.
#include "ftp/ResumeRecords.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include <sys/stat.h>

using testsupport::TempFolder;

namespace {

ftp::ResumeRecord recordFor(const TempFolder& folder, const std::string& name, int64_t started) {
    ftp::ResumeRecord r;
    r.partialPath = folder.file(name + ".part");
    struct stat info {};
    if (::stat(r.partialPath.c_str(), &info) == 0) {
        r.device = info.st_dev;
        r.inode = info.st_ino;
    }
    r.server = "127.0.0.1:21:tester";
    r.remotePath = "/pub/" + name;
    r.targetPath = folder.file(name);
    r.remoteSize = 1000;
    r.remoteTime = "20240102030405";
    r.started = started;
    return r;
}

void expectSame(const ftp::ResumeRecord& a, const ftp::ResumeRecord& b) {
    EXPECT_EQ(a.partialPath, b.partialPath);
    EXPECT_EQ(a.device, b.device);
    EXPECT_EQ(a.inode, b.inode);
    EXPECT_EQ(a.server, b.server);
    EXPECT_EQ(a.remotePath, b.remotePath);
    EXPECT_EQ(a.targetPath, b.targetPath);
    EXPECT_EQ(a.remoteSize, b.remoteSize);
    EXPECT_EQ(a.remoteTime, b.remoteTime);
    EXPECT_EQ(a.started, b.started);
}

TEST(ResumeRecords, RecordsWithAnyBytesAreKeptPrivateAndTakenOnce) {
    TempFolder settings, local;
    ftp::ResumeRecords records(settings.path());
    ftp::ResumeRecord odd = recordFor(local, "tab\there\nnew%line", 7);
    odd.remotePath = std::string("/pub/\xFF\xFE gbk \xC4\xE3\t%25");
    odd.remoteTime.clear();
    ftp::ResumeRecord plain = recordFor(local, "plain.bin", 8);
    ASSERT_TRUE(records.add(odd));
    ASSERT_TRUE(records.add(plain));

    struct stat info {};
    ASSERT_EQ(::stat(records.filePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ftp::ResumeRecord taken;
    EXPECT_FALSE(records.take(odd.server, odd.remotePath, plain.targetPath, taken));  // another target
    ASSERT_TRUE(records.take(odd.server, odd.remotePath, odd.targetPath, taken));
    expectSame(taken, odd);
    EXPECT_FALSE(records.take(odd.server, odd.remotePath, odd.targetPath, taken));
    ASSERT_EQ(records.all().size(), 1u);
    expectSame(records.all()[0], plain);

    // Adding the same download again replaces its record.
    plain.remoteSize = 2000;
    ASSERT_TRUE(records.add(plain));
    ASSERT_EQ(records.all().size(), 1u);
    EXPECT_EQ(records.all()[0].remoteSize, 2000);
    ASSERT_TRUE(records.take(plain.server, plain.remotePath, plain.targetPath, taken));
    EXPECT_FALSE(std::filesystem::exists(records.filePath()));  // nothing left: no file
}

TEST(ResumeRecords, ADamagedFileCostsOnlyTheLinesThatDoNotRead) {
    TempFolder settings, local;
    ftp::ResumeRecords records(settings.path());
    const ftp::ResumeRecord good = recordFor(local, "good.bin", 5);
    const std::string goodLine = ftp::resumeFileText({good}).substr(ftp::resumeFileText({}).size());
    testsupport::writeFileBytes(records.filePath(),
                                std::string("garbage\n\x01\x02\x03\tbinary\n") +
                                    "a\tb\tc\td\te\tf\tg\th\ti\n" +     // numbers that are not
                                    "%zz\t1\t2\ts\t/r\t/t\t3\t-\t4\n" +  // a broken escape
                                    goodLine + std::string(3000, 'x'));  // cut off without a line end
    ASSERT_EQ(records.all().size(), 1u);
    expectSame(records.all()[0], good);
    ftp::ResumeRecord other = recordFor(local, "other.bin", 6);
    ASSERT_TRUE(records.add(other));
    EXPECT_EQ(records.all().size(), 2u);
    EXPECT_EQ(testsupport::readFileBytes(records.filePath()), ftp::resumeFileText({good, other}));
}

// Beyond the cap the oldest go, and their partial files with them, but
// only while the name still holds the file recorded.
TEST(ResumeRecords, TheOldestGoWithTheirOwnPartialsBeyondTheCap) {
    TempFolder settings, local;
    ftp::ResumeRecords records(settings.path());
    local.write("oldest.part", "ours");
    ASSERT_TRUE(records.add(recordFor(local, "oldest", 1)));
    local.write("second.part", "ours too");
    ASSERT_TRUE(records.add(recordFor(local, "second", 2)));
    // Someone else's file now under the second partial's name (made while
    // the first still exists, so it cannot have its inode).
    local.write("elsewhere", "theirs");
    std::filesystem::rename(local.file("elsewhere"), local.file("second.part"));
    for (std::size_t i = 0; i < ftp::kMaxResumeRecords; ++i)
        ASSERT_TRUE(records.add(recordFor(local, "f" + std::to_string(i), 100 + static_cast<int64_t>(i))));
    EXPECT_EQ(records.all().size(), ftp::kMaxResumeRecords);
    EXPECT_FALSE(std::filesystem::exists(local.file("oldest.part")));
    EXPECT_EQ(local.read("second.part"), "theirs");
    ftp::ResumeRecord taken;
    EXPECT_FALSE(records.take("127.0.0.1:21:tester", "/pub/second", local.file("second"), taken));
}

TEST(ResumeRecords, ClientsAddingAtOnceLoseNoRecord) {
    TempFolder settings, local;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            ftp::ResumeRecords records(settings.path());
            for (int i = 0; i < 8; ++i)
                records.add(recordFor(local, "t" + std::to_string(t) + "-" + std::to_string(i), t * 10 + i));
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(ftp::ResumeRecords(settings.path()).all().size(), 32u);
}

} // namespace
