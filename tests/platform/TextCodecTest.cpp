#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(TextCodec, RoundTripsChineseThroughGbk) {
    const std::string utf8 = "服务器目录";
    const std::string gbk = "\xB7\xFE\xCE\xF1\xC6\xF7\xC4\xBF\xC2\xBC";
    EXPECT_EQ(utf8ToGb18030(utf8), gbk);
    EXPECT_EQ(gb18030ToUtf8(gbk), utf8);
    EXPECT_EQ(gb18030Length(utf8), 10u);
    EXPECT_EQ(gb18030Length("abc"), 3u);
}

TEST(TextCodec, InvalidInputIsReplacedNotDropped) {
    // A lone lead byte followed by ASCII: the ASCII survives.
    EXPECT_EQ(gb18030ToUtf8("\x81 a"), "\xEF\xBF\xBD a");
    EXPECT_EQ(utf8ToGb18030("x\xFFy"), "x?y");
}

TEST(TextCodec, Utf8Validity) {
    EXPECT_TRUE(isValidUtf8("中文 name.txt"));
    EXPECT_FALSE(isValidUtf8("\xD6\xD0\xCE\xC4"));    // GBK bytes
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));            // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));        // surrogate
    EXPECT_FALSE(isValidUtf8("\xE4\xB8"));            // cut short
}

TEST(TextCodec, HalfWidthAndCaseFolding) {
    EXPECT_EQ(toHalfWidth("２１２１"), "2121");
    EXPECT_EQ(toHalfWidth("　－５"), " -5");
    EXPECT_EQ(foldCase("ÄBC.TXT"), "äbc.txt");
    EXPECT_EQ(foldCase("ＴＸＴ"), "ｔｘｔ");
    EXPECT_EQ(foldCase("Доклад"), "доклад");
}
