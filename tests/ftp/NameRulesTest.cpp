#include "ftp/NameRules.h"
#include "platform/ShortcutTarget.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WindowsFileBytes.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testsupport;

TEST(NameRules, RemoteNamesFollowTheNameRuleUnlessTheKindIsKnown) {
    for (const char* name : {"readme", "old.backup", "v1.2.3-final"})
        EXPECT_TRUE(isDirectoryName(name, true)) << name;
    for (const char* name : {"index.html", "a.tar.gz", "site.v2"})
        EXPECT_FALSE(isDirectoryName(name, true)) << name;
    EXPECT_FALSE(isDirectoryName("Makefile", true, kKindFile));
    EXPECT_TRUE(isDirectoryName("index.html", true, kKindDirectory));
}

TEST(NameRules, LocalEntriesDecideByTheirRealType) {
    TempFolder folder;
    folder.write("Makefile", "all:\n");
    folder.makeFolder("site.v2");
    EXPECT_FALSE(isDirectoryName(folder.file("Makefile")));
    EXPECT_TRUE(isDirectoryName(folder.file("site.v2")));
    // Nothing on disk: the name rule.
    EXPECT_TRUE(isDirectoryName(folder.file("missing")));
    EXPECT_FALSE(isDirectoryName(folder.file("missing.txt")));
    // The remote mode never looks at the disk.
    EXPECT_TRUE(isDirectoryName(folder.file("Makefile"), true));
}

TEST(NameRules, FixedIconsFromTheTableIgnoreCase) {
    EXPECT_EQ(iconIndexFor("photo.JPG", true), 3);
    EXPECT_EQ(iconIndexFor("setup.EXE", true), 5);
    EXPECT_EQ(iconIndexFor("setup.exe", true), 4);
    EXPECT_EQ(iconIndexFor("Index.Html", true), 11);
    EXPECT_EQ(iconIndexFor("data.db", true), 8);
    EXPECT_EQ(iconIndexFor("a.png", true), 1);
    EXPECT_EQ(iconIndexFor("notes.doc", true), 5);
    EXPECT_EQ(iconIndexFor("Makefile", true), 0);
    EXPECT_EQ(iconIndexFor("Makefile", true, kKindFile), 5);
    EXPECT_EQ(iconIndexFor("a.txt", true, kKindDirectory), 0);
    // An extension that merely contains table text is no match.
    EXPECT_EQ(iconIndexFor("x.txt 7;ini", true), 5);
}

TEST(NameRules, LocalFilesWithoutDotGetTheFileIconAndFoldersTheFolderIcon) {
    TempFolder folder;
    folder.write("Makefile", "all:\n");
    folder.makeFolder("lib.d");
    EXPECT_EQ(iconIndexFor(folder.file("Makefile")), 5);
    EXPECT_EQ(iconIndexFor(folder.file("lib.d")), 0);
    EXPECT_EQ(iconIndexFor(folder.file("readme.txt")), 7);  // missing: by name
}

TEST(NameRules, ShortcutsToTextFilesGetIconOne) {
    TempFolder folder;
    folder.write("notes.txt", "x");
    ASSERT_EQ(::symlink(folder.file("notes.txt").c_str(), folder.file("notes.lnk").c_str()), 0);
    EXPECT_EQ(iconIndexFor("notes.lnk", true, kKindFile), 5);  // remote: nothing local by that name
    EXPECT_EQ(iconIndexFor(folder.file("notes.lnk"), true), 1);
    folder.write("win.lnk", shellLink("C:\\docs\\Notes.TXT"));
    EXPECT_EQ(shortcutTarget(folder.file("win.lnk")), "C:\\docs\\Notes.TXT");
    EXPECT_EQ(iconIndexFor(folder.file("win.lnk"), true), 1);
    folder.write("other.lnk", shellLink("C:\\tools\\run.bat"));
    EXPECT_EQ(iconIndexFor(folder.file("other.lnk"), true), 5);
}
