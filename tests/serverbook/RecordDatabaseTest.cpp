// Engine operations: navigation, find, field and path rules, error codes,
// refused and damaged files, and the server book object.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "serverbook/RecordDatabase.h"
#include "serverbook/ServerBook.h"
#include "tests/serverbook/DbTestFiles.h"
#include "tests/support/TempFolder.h"

using namespace serverbook;
using testsupport::readFileBytes;
using testsupport::writeFileBytes;

namespace {

class RecordDatabaseTest : public ::testing::Test {
protected:
    void TearDown() override { RecordDatabase::close(); }

    // A one-field database with the given names as records, left open.
    std::string openWithNames(const std::vector<std::string>& names) {
        const std::string path = temp.file("names.edb");
        EXPECT_TRUE(RecordDatabase::create(path, {{"name", 10, 20}}));
        EXPECT_TRUE(RecordDatabase::open(path));
        for (const std::string& name : names)
            EXPECT_TRUE(RecordDatabase::append({name}));
        RecordDatabase::goFirst();
        return path;
    }

    static bool findName(const std::string& name) {
        return RecordDatabase::find([&](const RecordView& r) { return r.readField("name") == name; });
    }

    int createCode(const std::vector<FieldDef>& fields) {
        RecordDatabase::create(temp.file("check.edb"), fields);
        return RecordDatabase::lastError();
    }

    int openCode(const std::string& bytes, bool readOnly = false) {
        const std::string path = temp.file("given.edb");
        writeFileBytes(path, bytes);
        if (RecordDatabase::open(path, "", readOnly))
            RecordDatabase::close();
        return RecordDatabase::lastError();
    }

    testsupport::TempFolder temp;
};

TEST_F(RecordDatabaseTest, SkipStopsAtTheEndPositionAndBeforeTheFirst) {
    openWithNames({"a", "b", "c"});
    EXPECT_FALSE(RecordDatabase::atEnd());
    ASSERT_TRUE(RecordDatabase::skip(2));
    EXPECT_EQ(RecordDatabase::readField("name"), "c");
    ASSERT_TRUE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::currentRecord(), 3);
    EXPECT_TRUE(RecordDatabase::atEnd());
    EXPECT_FALSE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::lastError(), -26);
    EXPECT_EQ(RecordDatabase::currentRecord(), 3);

    ASSERT_TRUE(RecordDatabase::skip(-10));
    EXPECT_EQ(RecordDatabase::currentRecord(), -1);
    EXPECT_FALSE(RecordDatabase::skip(-1));
    EXPECT_EQ(RecordDatabase::lastError(), -25);
    ASSERT_TRUE(RecordDatabase::skip(100));
    EXPECT_EQ(RecordDatabase::currentRecord(), 3);
    EXPECT_TRUE(RecordDatabase::skip(0));
    EXPECT_EQ(RecordDatabase::lastError(), 0);
}

TEST_F(RecordDatabaseTest, EmptyDatabaseIsAtEndAndCannotSkip) {
    openWithNames({});
    EXPECT_TRUE(RecordDatabase::atEnd());
    EXPECT_FALSE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::lastError(), -26);
    EXPECT_FALSE(RecordDatabase::skip(-1));
    EXPECT_EQ(RecordDatabase::lastError(), -25);
    EXPECT_FALSE(findName(""));
    EXPECT_EQ(RecordDatabase::lastError(), 0);
    EXPECT_FALSE(RecordDatabase::modify({std::string("x")}));
    EXPECT_EQ(RecordDatabase::lastError(), -60);
}

TEST_F(RecordDatabaseTest, FindScansFromTheCurrentRecordAndKeepsItWhenNothingMatches) {
    openWithNames({"a", "b", "c", "b"});
    ASSERT_TRUE(RecordDatabase::skip());
    EXPECT_FALSE(findName("a"));
    EXPECT_EQ(RecordDatabase::lastError(), 0);
    EXPECT_EQ(RecordDatabase::currentRecord(), 1);

    ASSERT_TRUE(RecordDatabase::skip(2));
    ASSERT_TRUE(findName("b"));
    EXPECT_EQ(RecordDatabase::currentRecord(), 3);

    // Plain field reads inside the condition come from the record under test.
    RecordDatabase::goFirst();
    ASSERT_TRUE(RecordDatabase::find([](const RecordView&) { return RecordDatabase::readField("NAME") == "c"; }));
    EXPECT_EQ(RecordDatabase::currentRecord(), 2);
    EXPECT_EQ(RecordDatabase::readField("name"), "c");
}

TEST_F(RecordDatabaseTest, SecondOpenOfTheSameFileInOneProcessFails) {
    const std::string path = openWithNames({"kept"});
    const std::string other = temp.file("sub/../names.edb");
    std::filesystem::create_directory(temp.file("sub"));
    std::filesystem::create_symlink(path, temp.file("link.edb"));
    for (const std::string& again : {path, other, temp.file("link.edb")}) {
        EXPECT_FALSE(RecordDatabase::open(again)) << again;
        EXPECT_EQ(RecordDatabase::lastError(), -38);
    }
    EXPECT_EQ(RecordDatabase::readField("name"), "kept"); // still current
    EXPECT_FALSE(RecordDatabase::create(path, {{"x", 10, 5}}));
    EXPECT_EQ(RecordDatabase::lastError(), -12);
    RecordDatabase::close();
    EXPECT_TRUE(RecordDatabase::open(path));
}

TEST_F(RecordDatabaseTest, PathsWithoutExtensionGetEdb) {
    std::filesystem::create_directory(temp.file("dir.x"));
    ASSERT_TRUE(RecordDatabase::create(temp.file("dir.x/book"), {{"a", 3}}));
    EXPECT_TRUE(std::filesystem::exists(temp.file("dir.x/book.EDB")));
    ASSERT_TRUE(RecordDatabase::create(temp.file("dot."), {{"a", 3}}));
    EXPECT_TRUE(std::filesystem::exists(temp.file("dot.EDB")));
    ASSERT_TRUE(RecordDatabase::open(temp.file("dot.")));
    RecordDatabase::close();

    EXPECT_FALSE(RecordDatabase::create("", {{"a", 3}}));
    EXPECT_EQ(RecordDatabase::lastError(), -3);
    EXPECT_FALSE(RecordDatabase::open(""));
    EXPECT_EQ(RecordDatabase::lastError(), -3);
    EXPECT_FALSE(RecordDatabase::open(temp.file("missing.edb")));
    EXPECT_EQ(RecordDatabase::lastError(), -3);
}

TEST_F(RecordDatabaseTest, CreateChecksNamesTypesWidthsAndDuplicates) {
    EXPECT_EQ(createCode({}), -16);
    EXPECT_EQ(createCode({{"", 10, 5}, {"a", 10, 5}}), -16);
    EXPECT_EQ(createCode({{"1abc", 10, 5}}), -18);
    EXPECT_EQ(createCode({{"a.b", 10, 5}}), -18);
    EXPECT_EQ(createCode({{"a_b", 10, 5}}), -18);
    EXPECT_EQ(createCode({{"abcdefghijklmnopq", 3}}), -18);
    EXPECT_EQ(createCode({{"一二三四五六七八九", 3}}), -18); // 18 bytes
    EXPECT_EQ(createCode({{"bad!", 0}}), -18);             // name checked before type
    EXPECT_EQ(createCode({{"a", 0}}), -17);
    EXPECT_EQ(createCode({{"a", 13}}), -17);
    EXPECT_EQ(createCode({{"a", 10, 0}}), -19);
    EXPECT_EQ(createCode({{"a", 10, 1025}}), -19);
    EXPECT_EQ(createCode({{"Name", 10, 5}, {"NAME", 3}}), -20);
    EXPECT_EQ(createCode({{"ａｂ", 3}, {"ＡＢ", 3}}), -20);

    EXPECT_EQ(createCode({{"abcdefghijklmnop", 3}, {"一二三四五六七八", 3}, {"Ａ１", 3}, {"x9", 10, 1024}, {"n", 3, -5}}),
              0);
    // An empty name ends the list; what follows is not looked at.
    ASSERT_EQ(createCode({{"a", 10, 5}, {"", 10, 5}, {"bad!", 99}}), 0);
    const std::string bytes = readFileBytes(temp.file("check.edb"));
    EXPECT_EQ(bytes.size(), 116u + 72);
    EXPECT_EQ(dbtest::readLe32(bytes, 24), 9);
}

TEST_F(RecordDatabaseTest, EveryOperationWithoutADatabaseRecordsMinus67) {
    RecordDatabase::goFirst();
    EXPECT_EQ(RecordDatabase::lastError(), -67);
    EXPECT_TRUE(RecordDatabase::atEnd());
    EXPECT_FALSE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::readField("name"), "");
    EXPECT_EQ(RecordDatabase::lastError(), -67);
    EXPECT_FALSE(findName("x"));
    EXPECT_FALSE(RecordDatabase::append({std::string("x")}));
    EXPECT_FALSE(RecordDatabase::modify({std::string("x")}));
    EXPECT_FALSE(RecordDatabase::markDeleted());
    EXPECT_FALSE(RecordDatabase::purge());
    EXPECT_EQ(RecordDatabase::lastError(), -67);
    EXPECT_EQ(RecordDatabase::errorMessage(-67), "未设置当前数据库");
    EXPECT_EQ(RecordDatabase::errorMessage(-16), "字段数目必须大于 0 ");
    EXPECT_EQ(RecordDatabase::errorMessage(-38), "指定数据库已经被打开");
    EXPECT_EQ(RecordDatabase::errorMessage(-21), "");
}

TEST_F(RecordDatabaseTest, FieldReadsOutsideARecordFailWithTheirCodes) {
    openWithNames({"a"});
    EXPECT_EQ(RecordDatabase::readField("nope"), "");
    EXPECT_EQ(RecordDatabase::lastError(), -46);
    ASSERT_TRUE(RecordDatabase::skip(-1));
    EXPECT_EQ(RecordDatabase::readField("name"), "");
    EXPECT_EQ(RecordDatabase::lastError(), -60);
    EXPECT_FALSE(RecordDatabase::markDeleted());
    EXPECT_EQ(RecordDatabase::lastError(), -60);
    ASSERT_TRUE(RecordDatabase::skip(2));
    EXPECT_EQ(RecordDatabase::readField("name"), "");
    EXPECT_EQ(RecordDatabase::lastError(), -10);
    EXPECT_FALSE(RecordDatabase::modify({std::string("x")}));
    EXPECT_EQ(RecordDatabase::lastError(), -60);
}

TEST_F(RecordDatabaseTest, FileCutShortWhileOpenGivesReadErrors) {
    const std::string path = openWithNames({"a", "b", "c"});
    std::filesystem::resize_file(path, 116 + 72 + 2 * 24 + 10);
    EXPECT_FALSE(findName("zz"));
    EXPECT_EQ(RecordDatabase::lastError(), -62);
    EXPECT_EQ(RecordDatabase::currentRecord(), 0);
    ASSERT_TRUE(findName("b"));
    EXPECT_EQ(RecordDatabase::currentRecord(), 1);
    ASSERT_TRUE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::readField("name"), "");
    EXPECT_EQ(RecordDatabase::lastError(), -46);
    EXPECT_FALSE(RecordDatabase::markDeleted());
    EXPECT_EQ(RecordDatabase::lastError(), -60);
    EXPECT_FALSE(RecordDatabase::purge());
    EXPECT_EQ(RecordDatabase::lastError(), -62);
}

TEST_F(RecordDatabaseTest, ReadOnlyDatabaseRefusesWrites) {
    const std::string path = openWithNames({"a"});
    RecordDatabase::close();
    const std::string before = readFileBytes(path);
    ASSERT_TRUE(RecordDatabase::open(path, "", true));
    EXPECT_EQ(RecordDatabase::readField("name"), "a");
    EXPECT_FALSE(RecordDatabase::append({std::string("b")}));
    EXPECT_EQ(RecordDatabase::lastError(), -6);
    EXPECT_FALSE(RecordDatabase::markDeleted());
    EXPECT_FALSE(RecordDatabase::purge());
    EXPECT_EQ(readFileBytes(path), before);
}

TEST_F(RecordDatabaseTest, RefusesFilesThatAreNotDatabases) {
    const std::string good = dbtest::serverBookStart(0, 1);
    EXPECT_EQ(openCode(good), 0);
    EXPECT_EQ(openCode("WEDX" + good.substr(4)), -22);
    EXPECT_EQ(openCode(dbtest::header(0, 1, 142, 0x00010001) + good.substr(112)), -23);
    EXPECT_EQ(openCode(dbtest::header(0, 1, 142, 0x00000001) + good.substr(112)), 0);
    EXPECT_EQ(openCode(dbtest::header(0, 1, 0) + good.substr(112)), -22);
    EXPECT_EQ(openCode(dbtest::header(-1, 1, 142) + good.substr(112)), -22);
    EXPECT_EQ(openCode(dbtest::header(0, 0, 142) + good.substr(112)), -22);
    EXPECT_EQ(openCode(dbtest::header(0, 1, 142) + dbtest::le32(0)), -22);
    EXPECT_EQ(openCode(dbtest::header(0, 1, 142) + dbtest::le32(-5)), -22);
    // A huge field count is refused by the file length, not allocated.
    EXPECT_EQ(openCode(dbtest::header(0, 1, 142) + dbtest::le32(0x7fffffff) + good.substr(116)), -22);

    const std::string head = dbtest::header(0, 1, 24) + dbtest::le32(1);
    EXPECT_EQ(openCode(head + dbtest::descriptor("name", 10, 4, 20)), 0);
    EXPECT_EQ(openCode(head + dbtest::descriptor(std::string(17, 'n'), 10, 4, 20)), -22);
    EXPECT_EQ(openCode(head + dbtest::descriptor("name", 13, 4, 20)), -22);
    EXPECT_EQ(openCode(head + dbtest::descriptor("name", 10, -4, 20)), -22);
    EXPECT_EQ(openCode(head + dbtest::descriptor("name", 10, 4, 0)), -22);
    EXPECT_EQ(openCode(head + dbtest::descriptor("name", 10, 10, 20)), -22); // past the record
    EXPECT_EQ(openCode(dbtest::header(0, 1, 0x7fffffff) + dbtest::le32(1) + dbtest::descriptor("n", 3, 4, 0)), -22);
}

TEST_F(RecordDatabaseTest, EveryTruncationOfAFileIsRefusedOrRepaired) {
    const std::string full = dbtest::serverBookStart(2, 3) + dbtest::serverRecord(1, "a", "h", "21", "u", "p") +
                             dbtest::serverRecord(2, "b", "h", "21", "u", "p");
    for (size_t length = 0; length <= full.size(); ++length) {
        const int code = openCode(full.substr(0, length));
        if (length < 476)
            EXPECT_EQ(code, -22) << length;
        else
            EXPECT_EQ(code, 0) << length;
    }
    EXPECT_EQ(openCode(full.substr(0, 700), true), -48);
}

TEST_F(RecordDatabaseTest, DamagedFilesNeverCrashTheEngine) {
    const std::string full = dbtest::serverBookStart(3, 4) + dbtest::serverRecord(1, "a", "h", "21", "u", "p") +
                             dbtest::serverRecord(-2, "b", "h", "21", "u", "p") +
                             dbtest::serverRecord(3, "c", "h", "21", "u", "p");
    std::mt19937 random(20240607);
    const std::string path = temp.file("damaged.edb");
    int opened = 0;
    for (int round = 0; round < 300; ++round) {
        std::string bytes = full;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < flips; ++k)
            bytes[random() % (round % 2 ? 200 : bytes.size())] = static_cast<char>(random());
        writeFileBytes(path, bytes);
        if (!RecordDatabase::open(path)) {
            EXPECT_NE(RecordDatabase::errorMessage(RecordDatabase::lastError()), "");
            continue;
        }
        ++opened;
        for (RecordDatabase::goFirst(); !RecordDatabase::atEnd(); RecordDatabase::skip())
            RecordDatabase::readField("服务器名");
        RecordDatabase::goFirst();
        findName("zz");
        RecordDatabase::purge();
        RecordDatabase::append({std::string("new")});
        RecordDatabase::close();
    }
    EXPECT_GT(opened, 0);
}

TEST_F(RecordDatabaseTest, SideFileIsWrittenAndChecked) {
    const std::string path = temp.file("memo.edb");
    ASSERT_TRUE(RecordDatabase::create(path, {{"title", 10, 8}, {"body", 12}}));
    const std::string side = readFileBytes(temp.file("memo.EDT"));
    ASSERT_EQ(side.size(), 512u);
    EXPECT_EQ(side.substr(0, 4), "WEDT");
    EXPECT_EQ(dbtest::readLe32(side, 4), 0x00010000);
    EXPECT_EQ(side.substr(8, 8), readFileBytes(path).substr(8, 8));
    EXPECT_EQ(dbtest::readLe32(side, 16), 1);
    EXPECT_EQ(side.substr(20), std::string(492, '\0'));

    ASSERT_TRUE(RecordDatabase::open(path));
    ASSERT_TRUE(RecordDatabase::append({std::string("t")}));
    EXPECT_FALSE(RecordDatabase::modify({std::monostate{}, std::string("memo text")}));
    EXPECT_EQ(RecordDatabase::lastError(), -72);
    RecordDatabase::close();

    std::string damaged = side;
    damaged[4] = 2;
    writeFileBytes(temp.file("memo.EDT"), damaged);
    EXPECT_FALSE(RecordDatabase::open(path));
    EXPECT_EQ(RecordDatabase::lastError(), -36);
    writeFileBytes(temp.file("memo.EDT"), "WEDX" + side.substr(4));
    EXPECT_FALSE(RecordDatabase::open(path));
    EXPECT_EQ(RecordDatabase::lastError(), -37);
    std::filesystem::remove(temp.file("memo.EDT"));
    EXPECT_FALSE(RecordDatabase::open(path));
    EXPECT_EQ(RecordDatabase::lastError(), -35);
}

TEST_F(RecordDatabaseTest, ServerBookQueuesFieldsAndTracksItsOpenFile) {
    ServerBook book;
    book.addField("服务器名", 10, 60);
    book.addField("bad name");
    ServerBook copy = book;
    EXPECT_FALSE(book.create(temp.file("bad.edb")));
    EXPECT_TRUE(book.queuedFields().empty());
    ASSERT_EQ(copy.queuedFields().size(), 2u);
    EXPECT_EQ(copy.queuedFields()[1].type, 10);

    const std::string path = temp.file("ipsjk.edb");
    book.addField(kFieldServerName, 10, kServerNameWidth);
    ASSERT_TRUE(book.create(path));
    EXPECT_FALSE(book.isOpen());
    {
        ServerBook scoped;
        ASSERT_TRUE(scoped.open(path));
        EXPECT_TRUE(scoped.isOpen());
        ASSERT_TRUE(RecordDatabase::append({std::string("srv")}));
    }
    // The destructor closed the database, so it opens again.
    ASSERT_TRUE(book.open(path));
    EXPECT_EQ(RecordDatabase::readField("服务器名"), "srv");
    book.close();
    EXPECT_FALSE(book.isOpen());
    EXPECT_FALSE(book.open(temp.file("missing.edb")));
    EXPECT_FALSE(book.isOpen());

    // Closing a book that is not open leaves another current database alone.
    ASSERT_TRUE(RecordDatabase::open(path));
    book.close();
    EXPECT_EQ(RecordDatabase::readField("服务器名"), "srv");
}

} // namespace
