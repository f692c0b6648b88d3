#include "platform/LocalFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

TEST(LocalFiles, AttributeBits) {
    testsupport::TempFolder tmp;
    tmp.write("a.txt", "hello");
    tmp.write(".hidden", "x");
    tmp.makeFolder("sub");
    EXPECT_EQ(fileAttributes(tmp.file("a.txt")), kAttrArchive);
    EXPECT_EQ(fileAttributes(tmp.file(".hidden")), kAttrArchive | kAttrHidden);
    EXPECT_EQ(fileAttributes(tmp.file("sub")), kAttrDirectory);
    EXPECT_EQ(fileAttributes(tmp.file("missing")), -1);
    EXPECT_EQ(fileSize(tmp.file("a.txt")), 5);
    EXPECT_EQ(fileSize(tmp.file("missing")), -1);
    if (::geteuid() != 0) {
        ::chmod(tmp.file("a.txt").c_str(), 0444);
        EXPECT_EQ(fileAttributes(tmp.file("a.txt")), kAttrArchive | kAttrReadOnly);
    }
}

TEST(LocalFiles, ListsWithoutDotEntriesAndSurvivesMissingFolders) {
    testsupport::TempFolder tmp;
    tmp.write("x.txt", "1");
    tmp.makeFolder("K");
    auto entries = listFolder(tmp.path());
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& e : entries)
        EXPECT_TRUE(e.name == "x.txt" || e.name == "K");
    EXPECT_TRUE(listFolder(tmp.file("nope")).empty());
}

TEST(LocalFiles, DanglingSymlinkIsListedNotFatal) {
    testsupport::TempFolder tmp;
    ASSERT_EQ(::symlink("/nonexistent/target", tmp.file("dangling").c_str()), 0);
    auto entries = listFolder(tmp.path());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "dangling");
}
