// The file format byte for byte: new files, appended and modified records,
// text cutting, purge, repair on open and files written on Windows.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "platform/TextCodec.h"
#include "serverbook/RecordDatabase.h"
#include "serverbook/ServerBook.h"
#include "tests/serverbook/DbTestFiles.h"
#include "tests/support/TempFolder.h"

using namespace serverbook;
using dbtest::readLe32;
using testsupport::readFileBytes;
using testsupport::writeFileBytes;

namespace {

// 30 Chinese characters: 60 bytes in GB18030.
const std::string kSixtyByteName = "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十";

class RecordFormatTest : public ::testing::Test {
protected:
    void TearDown() override { RecordDatabase::close(); }

    std::string createServerBook() {
        ServerBook book;
        book.addField("服务器名", 10, 60);
        book.addField("IP", 10, 20);
        book.addField("端口", 10, 12);
        book.addField("用户名", 10, 26);
        book.addField("密码", 10, 20);
        const std::string path = temp.file("ipsjk.edb");
        EXPECT_TRUE(book.create(path));
        return path;
    }

    std::string openServerBook() {
        const std::string path = createServerBook();
        EXPECT_TRUE(RecordDatabase::open(path));
        return path;
    }

    static bool appendServer(const std::string& name, const std::string& ip = "10.0.0.1") {
        return RecordDatabase::append({name, ip, std::string("21"), std::string("user"), std::string("pw")});
    }

    testsupport::TempFolder temp;
};

double oleDateOf(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    // Days from 1899-12-30 via mktime-free arithmetic on the broken-down date.
    auto days = [](int y, int m, int d) {
        y -= m <= 2;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const int yoe = y - era * 400;
        const int doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe;
    };
    return days(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) - days(1899, 12, 30) +
           (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

TEST_F(RecordFormatTest, NewServerBookIsTheExactHeaderAndDescriptors) {
    const std::time_t before = std::time(nullptr);
    const std::string path = createServerBook();
    const std::time_t after = std::time(nullptr);
    const std::string bytes = readFileBytes(path);
    ASSERT_EQ(bytes.size(), 476u);

    std::string expected = dbtest::serverBookStart(0, 1);
    // The creation time is the only part that varies: local time, whole seconds.
    const double created = dbtest::readDouble(bytes, 8);
    EXPECT_GE(created, oleDateOf(before) - 1e-9);
    EXPECT_LE(created, oleDateOf(after) + 1e-9);
    const double seconds = (created - static_cast<int64_t>(created)) * 86400.0;
    EXPECT_NEAR(seconds, std::round(seconds), 1e-3);
    expected.replace(8, 8, bytes.substr(8, 8));
    EXPECT_EQ(bytes, expected);
}

TEST_F(RecordFormatTest, AppendWritesSerialCountAndNextSerial) {
    const std::string path = openServerBook();
    ASSERT_TRUE(appendServer("alpha", "ftp.example.org"));
    EXPECT_EQ(RecordDatabase::currentRecord(), 0);
    const std::string bytes = readFileBytes(path);
    ASSERT_EQ(bytes.size(), 618u);
    EXPECT_EQ(readLe32(bytes, 16), 1);
    EXPECT_EQ(readLe32(bytes, 20), 2);
    EXPECT_EQ(bytes.substr(476),
              dbtest::serverRecord(1, std::string("alpha", 6), std::string("ftp.example.org", 16),
                                   std::string("21", 3), std::string("user", 5), std::string("pw", 3)));
}

TEST_F(RecordFormatTest, TextOfTheFieldWidthIsStoredWithoutNul) {
    const std::string path = openServerBook();
    const std::string fiftyNine = std::string(59, 'n');
    ASSERT_TRUE(appendServer(kSixtyByteName));
    ASSERT_TRUE(appendServer(fiftyNine));
    ASSERT_TRUE(appendServer(kSixtyByteName + "x")); // 61 bytes: cut to 60
    const std::string bytes = readFileBytes(path);

    EXPECT_EQ(bytes.substr(476 + 4, 60), platform::utf8ToGb18030(kSixtyByteName));
    EXPECT_EQ(bytes.substr(476 + 64, 8), std::string("10.0.0.1"));
    EXPECT_EQ(bytes.substr(618 + 4, 60), fiftyNine + '\0');

    RecordDatabase::goFirst();
    EXPECT_EQ(RecordDatabase::readField("服务器名"), kSixtyByteName);
    // Rewriting only the name must not touch the address right after it.
    ASSERT_TRUE(RecordDatabase::modify({kSixtyByteName}));
    EXPECT_EQ(RecordDatabase::readField("IP"), "10.0.0.1");
    ASSERT_TRUE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::readField("服务器名"), fiftyNine);
    ASSERT_TRUE(RecordDatabase::skip());
    EXPECT_EQ(RecordDatabase::readField("服务器名"), kSixtyByteName);
}

TEST_F(RecordFormatTest, TextCutInsideACharacterReadsBackWithReplacement) {
    openServerBook();
    // 59 ASCII bytes and a two-byte character: only its first byte fits.
    ASSERT_TRUE(appendServer(std::string(59, 'a') + "中"));
    const std::string read = RecordDatabase::readField("服务器名");
    EXPECT_EQ(read.substr(0, 59), std::string(59, 'a'));
    EXPECT_EQ(read.substr(59), "\xEF\xBF\xBD");
}

TEST_F(RecordFormatTest, ModifyKeepsTheOldTailAfterTheNul) {
    const std::string path = openServerBook();
    ASSERT_TRUE(appendServer("one", "very.long.host.name"));
    ASSERT_TRUE(appendServer("two", "second.host"));
    RecordDatabase::goFirst();
    ASSERT_TRUE(RecordDatabase::modify({std::monostate{}, std::string("short")}));
    EXPECT_EQ(RecordDatabase::readField("ip"), "short");
    EXPECT_EQ(RecordDatabase::readField("服务器名"), "one");

    const std::string bytes = readFileBytes(path);
    EXPECT_EQ(readLe32(bytes, 476), 1);
    std::string address = "very.long.host.name";
    address.resize(20, '\0');
    address.replace(0, 6, std::string("short\0", 6));
    EXPECT_EQ(bytes.substr(476 + 64, 20), address);
    EXPECT_EQ(bytes.substr(618, 142), dbtest::serverRecord(2, "two", "second.host", "21", "user", "pw"));
}

TEST_F(RecordFormatTest, MarkedRecordsStayVisibleUntilPurgeAndSerialsAreNotReused) {
    const std::string path = openServerBook();
    for (const char* name : {"a", "b", "c", "d"})
        ASSERT_TRUE(appendServer(name));
    RecordDatabase::goFirst();
    ASSERT_TRUE(RecordDatabase::skip());
    ASSERT_TRUE(RecordDatabase::markDeleted());
    ASSERT_TRUE(RecordDatabase::markDeleted()); // already marked: still succeeds
    EXPECT_EQ(readLe32(readFileBytes(path), 476 + 142), -2);

    std::vector<std::string> visited;
    for (RecordDatabase::goFirst(); !RecordDatabase::atEnd(); RecordDatabase::skip())
        visited.push_back(RecordDatabase::readField("服务器名"));
    EXPECT_EQ(visited, (std::vector<std::string>{"a", "b", "c", "d"}));

    ASSERT_TRUE(RecordDatabase::purge());
    EXPECT_EQ(RecordDatabase::currentRecord(), 0);
    std::string bytes = readFileBytes(path);
    ASSERT_EQ(bytes.size(), 476u + 3 * 142);
    EXPECT_EQ(readLe32(bytes, 16), 3);
    EXPECT_EQ(readLe32(bytes, 20), 5);
    EXPECT_EQ(bytes.substr(476 + 142, 142), dbtest::serverRecord(3, "c", "10.0.0.1", "21", "user", "pw"));

    ASSERT_TRUE(appendServer("e"));
    bytes = readFileBytes(path);
    EXPECT_EQ(readLe32(bytes, 476 + 3 * 142), 5);
    EXPECT_EQ(readLe32(bytes, 20), 6);
}

TEST_F(RecordFormatTest, PurgeAcrossChunksKeepsOrderAndSerials) {
    // 1028-byte records: 159 to a chunk, so 400 records span three chunks.
    const std::string path = temp.file("wide.edb");
    ASSERT_TRUE(RecordDatabase::create(path, {{"name", 10, 1024}}));
    ASSERT_TRUE(RecordDatabase::open(path));
    for (int i = 0; i < 400; ++i)
        ASSERT_TRUE(RecordDatabase::append({"r" + std::to_string(i)}));
    // Marks in the first two chunks only: the third must still move up.
    auto marked = [](int i) { return (i < 159 && i % 3 != 0) || i == 200; };
    RecordDatabase::goFirst();
    for (int i = 0; i < 400; ++i) {
        if (marked(i)) {
            ASSERT_TRUE(RecordDatabase::markDeleted());
        }
        RecordDatabase::skip();
    }
    ASSERT_TRUE(RecordDatabase::purge());
    const std::string bytes = readFileBytes(path);
    std::vector<int> serials;
    for (size_t pos = 116 + 72; pos < bytes.size(); pos += 1028)
        serials.push_back(readLe32(bytes, pos));
    std::vector<int> expected;
    for (int i = 0; i < 400; ++i)
        if (!marked(i))
            expected.push_back(i + 1);
    EXPECT_EQ(serials, expected);
    EXPECT_EQ(bytes.size(), 116u + 72 + expected.size() * 1028);
    EXPECT_EQ(readLe32(bytes, 16), static_cast<int>(expected.size()));
    RecordDatabase::goFirst();
    ASSERT_TRUE(RecordDatabase::skip(static_cast<int>(expected.size()) - 1));
    EXPECT_EQ(RecordDatabase::readField("NAME"), "r399");
}

TEST_F(RecordFormatTest, OpenRepairsShortAndOverlongFiles) {
    const std::string start = dbtest::serverBookStart(3, 4);
    const std::string rec1 = dbtest::serverRecord(1, "a", "h", "21", "u", "p");
    const std::string rec2 = dbtest::serverRecord(2, "b", "h", "21", "u", "p");
    const std::string path = temp.file("short.edb");

    // Header says 3, one and a half records present.
    writeFileBytes(path, start + rec1 + rec2.substr(0, 70));
    EXPECT_FALSE(RecordDatabase::open(path, "", true));
    EXPECT_EQ(RecordDatabase::lastError(), -48);
    EXPECT_EQ(readFileBytes(path).size(), 476u + 142 + 70);
    ASSERT_TRUE(RecordDatabase::open(path));
    RecordDatabase::close();
    std::string bytes = readFileBytes(path);
    EXPECT_EQ(bytes, dbtest::serverBookStart(1, 4) + rec1);

    // Header says 1, two records and some bytes present: the surplus goes.
    writeFileBytes(path, dbtest::serverBookStart(1, 3) + rec1 + rec2 + "junk");
    ASSERT_TRUE(RecordDatabase::open(path));
    EXPECT_EQ(RecordDatabase::recordCount(), 1);
    RecordDatabase::close();
    EXPECT_EQ(readFileBytes(path), dbtest::serverBookStart(1, 3) + rec1);
}

TEST_F(RecordFormatTest, FileWrittenOnWindowsReadsBackAndTakesNewRecords) {
    const std::string gbkTestServer = "\xb2\xe2\xca\xd4\xb7\xfe\xce\xf1\xc6\xf7"; // 测试服务器
    const std::string gbkThirty =
        "\xd2\xbb\xb6\xfe\xc8\xfd\xcb\xc4\xce\xe5\xc1\xf9\xc6\xdf\xb0\xcb\xbe\xc5\xca\xae"
        "\xd2\xbb\xb6\xfe\xc8\xfd\xcb\xc4\xce\xe5\xc1\xf9\xc6\xdf\xb0\xcb\xbe\xc5\xca\xae"
        "\xd2\xbb\xb6\xfe\xc8\xfd\xcb\xc4\xce\xe5\xc1\xf9\xc6\xdf\xb0\xcb\xbe\xc5\xca\xae";
    const std::string gbkZhangSan = "\xd5\xc5\xc8\xfd"; // 张三
    // Record 2 was modified from a longer address: its old tail follows the NUL.
    const std::string file = dbtest::serverBookStart(3, 7) +
                             dbtest::serverRecord(2, gbkTestServer + '\0', "192.168.1.10", "21", gbkZhangSan, "secret") +
                             dbtest::serverRecord(5, gbkThirty, std::string("ftp.cn\0ample.com.cn", 19), "2121",
                                                  "anonymous", std::string("\xc3\xdc\xc2\xeb\0", 5)) +
                             dbtest::serverRecord(-6, "old", "1.2.3.4", "21", "x", "y");
    const std::string path = temp.file("ipsjk.edb");
    writeFileBytes(path, file);

    ServerBook book;
    ASSERT_TRUE(book.open(path));
    EXPECT_EQ(readFileBytes(path), file); // nothing to repair
    std::vector<std::string> names;
    for (RecordDatabase::goFirst(); !RecordDatabase::atEnd(); RecordDatabase::skip())
        names.push_back(RecordDatabase::readField("服务器名"));
    EXPECT_EQ(names, (std::vector<std::string>{"测试服务器", kSixtyByteName, "old"}));

    RecordDatabase::goFirst();
    ASSERT_TRUE(RecordDatabase::find(
        [&](const RecordView& r) { return r.readField("服务器名") == kSixtyByteName; }));
    EXPECT_EQ(RecordDatabase::currentRecord(), 1);
    EXPECT_EQ(RecordDatabase::readField("IP"), "ftp.cn");
    EXPECT_EQ(RecordDatabase::readField("端口"), "2121");
    EXPECT_EQ(RecordDatabase::readField("用户名"), "anonymous");
    EXPECT_EQ(RecordDatabase::readField("密码"), "密码");
    RecordDatabase::goFirst();
    EXPECT_EQ(RecordDatabase::readField("用户名"), "张三");

    // And the other way: what we write is GBK as Windows expects it.
    ASSERT_TRUE(RecordDatabase::append({std::string("电信机房"), std::string("10.1.1.1"), std::string("21"),
                                        std::string("张三"), std::string("密码一")}));
    book.close();
    const std::string bytes = readFileBytes(path);
    ASSERT_EQ(bytes.size(), 476u + 4 * 142);
    EXPECT_EQ(readLe32(bytes, 16), 4);
    EXPECT_EQ(readLe32(bytes, 20), 8);
    EXPECT_EQ(bytes.substr(476 + 3 * 142),
              dbtest::serverRecord(7, std::string("\xb5\xe7\xd0\xc5\xbb\xfa\xb7\xbf\0", 9), std::string("10.1.1.1", 9),
                                   std::string("21", 3), gbkZhangSan + '\0', std::string("\xc3\xdc\xc2\xeb\xd2\xbb\0", 7)));
}

TEST_F(RecordFormatTest, NumericBooleanAndDateFieldsRoundTrip) {
    const std::string path = temp.file("types");
    ASSERT_TRUE(RecordDatabase::create(path, {{"b", 1}, {"s", 2}, {"i", 3}, {"l", 4}, {"f", 5}, {"d", 6},
                                              {"ok", 7}, {"t", 8}, {"name", 10, 8}}));
    ASSERT_TRUE(RecordDatabase::open(path + ".EDB"));
    ASSERT_TRUE(RecordDatabase::append({int64_t{200}, int64_t{-2}, 3.9, int64_t{-5000000000}, 0.5, int64_t{7},
                                        true, 36526.5, std::string("x")}));
    EXPECT_EQ(RecordDatabase::readField("b"), "200");
    EXPECT_EQ(RecordDatabase::readField("s"), "-2");
    EXPECT_EQ(RecordDatabase::readField("i"), "3");
    EXPECT_EQ(RecordDatabase::readField("l"), "-5000000000");
    EXPECT_EQ(RecordDatabase::readField("f"), "0.5");
    EXPECT_EQ(RecordDatabase::readField("d"), "7");
    EXPECT_EQ(RecordDatabase::readField("ok"), "true");
    EXPECT_EQ(RecordDatabase::readField("t"), "2000-01-01 12:00:00");

    const std::string bytes = readFileBytes(path + ".EDB");
    const size_t record = 116 + 9 * 72;
    EXPECT_EQ(readLe32(bytes, 24), 4 + 1 + 2 + 4 + 8 + 4 + 8 + 1 + 8 + 8);
    EXPECT_EQ(static_cast<unsigned char>(bytes[record + 4]), 200);
    EXPECT_EQ(bytes.substr(record + 5, 2), "\xfe\xff");
    EXPECT_EQ(readLe32(bytes, record + 7), 3);
    EXPECT_EQ(bytes[record + 31], 1);

    EXPECT_FALSE(RecordDatabase::modify({std::string("text")}));
    EXPECT_EQ(RecordDatabase::lastError(), -72);
    EXPECT_FALSE(RecordDatabase::append({std::monostate{}, true}));
    EXPECT_EQ(RecordDatabase::lastError(), -72);
    EXPECT_EQ(RecordDatabase::recordCount(), 1);
}

} // namespace
