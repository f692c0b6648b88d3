#include "ftp/WireNames.h"
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

TEST(TextCodec, EuroIsTheByte80OfChineseWindowsAndAllElseRoundTrips) {
    EXPECT_EQ(gb18030ToUtf8("\x80"), "€");
    EXPECT_EQ(gb18030ToUtf8("a\x80\xD6\xD0\x80"), "a€中€");
    EXPECT_EQ(utf8ToGb18030("a€中€"), "a\x80\xD6\xD0\x80");
    EXPECT_EQ(gb18030Length("€€"), 2u);
    std::string exact;
    ASSERT_TRUE(decodeGb18030Exactly("\x80x", exact));
    EXPECT_EQ(exact, "€x");
    // 0x80 as the second byte of a character stays part of that character.
    const std::string secondByte = "\x81\x80";
    ASSERT_TRUE(decodeGb18030Exactly(secondByte, exact));
    EXPECT_NE(exact.find_first_not_of("€"), std::string::npos);
    EXPECT_EQ(utf8ToGb18030(exact), secondByte);
    // GB18030's own euro sign reads as one too; it is written as 0x80.
    EXPECT_EQ(gb18030ToUtf8("\xA2\xE3"), "€");

    // Every other two-byte character reads and writes as before.
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F || (lead == 0xA2 && trail == 0xE3))
                continue;
            const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
            std::string text;
            if (!decodeGb18030Exactly(bytes, text))
                continue;
            EXPECT_EQ(utf8ToGb18030(text), bytes) << std::hex << lead << " " << trail;
            EXPECT_EQ(gb18030Length(text), 2u);
            ++checked;
        }
    }
    EXPECT_GT(checked, 20000);
    EXPECT_EQ(gb18030ToUtf8("\x81\x30\x81\x30\x94\x39\xFC\x36"), "\u0080😀");
    EXPECT_EQ(utf8ToGb18030("\u0080😀"), "\x81\x30\x81\x30\x94\x39\xFC\x36");
}

TEST(TextCodec, NamesOfACodePage936ServerKeepTheirBytes) {
    ftp::WireNames names;
    names.reset(false);
    const std::string wire = "\xB1\xA8\xBC\xDB\x80.txt";  // 报价€.txt
    const std::vector<ftp::ListedName> listed = names.namesOfListing("/pub", {wire});
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "报价€.txt");
    EXPECT_FALSE(listed[0].escaped);
    EXPECT_EQ(names.pathToWire("/pub/报价€.txt"), "/pub/" + wire);
    // A name the user types goes out as Chinese Windows writes it.
    EXPECT_EQ(names.pathToWire("/pub/新€"), "/pub/\xD0\xC2\x80");
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
