#include "ftp/FtpReply.h"
#include "ftp/ReplyReader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using ftp::FtpReply;
using ftp::ReplyReader;

std::vector<FtpReply> readAll(ReplyReader& reader) {
    std::vector<FtpReply> replies;
    FtpReply reply;
    while (reader.next(reply))
        replies.push_back(reply);
    return replies;
}

TEST(ReplyReader, SplitsAtEveryByteAndTakesSeveralRepliesFromOneRead) {
    const std::string bytes = "220 hi\r\n331-first\r\n 331 not the end\r\n331 end\r\n150 go\n226 done\r\n";
    ReplyReader whole;
    ASSERT_TRUE(whole.feed(bytes.data(), bytes.size()));
    std::vector<FtpReply> expected = readAll(whole);
    ASSERT_EQ(expected.size(), 4u);
    EXPECT_EQ(expected[1].code, 331);
    EXPECT_EQ(expected[1].lines.size(), 3u);
    EXPECT_EQ(expected[1].text(), "first");
    EXPECT_TRUE(expected[2].isPreliminary());
    EXPECT_EQ(expected[3].lines[0], "226 done");  // LF-only and CR LF both end lines

    ReplyReader bytewise;
    for (char c : bytes)
        ASSERT_TRUE(bytewise.feed(&c, 1));
    std::vector<FtpReply> pieces = readAll(bytewise);
    ASSERT_EQ(pieces.size(), expected.size());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        EXPECT_EQ(pieces[i].lines, expected[i].lines);
}

TEST(ReplyReader, AcceptsHundredsOfContinuationLines) {
    std::string bytes = "211-Features:\r\n";
    for (int i = 0; i < 500; ++i)
        bytes += " FEAT" + std::to_string(i) + "\r\n";
    bytes += "211 End\r\n";
    ReplyReader reader;
    ASSERT_TRUE(reader.feed(bytes.data(), bytes.size()));
    FtpReply reply;
    ASSERT_TRUE(reader.next(reply));
    EXPECT_EQ(reply.lines.size(), 502u);
}

TEST(ReplyReader, RejectsNulOverLongLinesAndGarbage) {
    ReplyReader nul;
    EXPECT_FALSE(nul.feed("220 a\0b\r\n", 9));
    EXPECT_TRUE(nul.broken());

    ReplyReader longLine;
    std::string huge = "220 " + std::string(ftp::kMaxReplyLineBytes, 'x');  // no LF yet
    EXPECT_FALSE(longLine.feed(huge.data(), huge.size()));

    for (const char* garbage : {"hello\r\n", "22 short\r\n", "2200 no\r\n", "620 bad class\r\n", "\r\n"}) {
        ReplyReader reader;
        EXPECT_FALSE(reader.feed(garbage, std::strlen(garbage))) << garbage;
        FtpReply reply;
        EXPECT_FALSE(reader.next(reply));
    }
}

TEST(ReplyReader, AMultiLineReplyEndsOnlyAtItsOwnCode) {
    const std::string bytes = "230-welcome\r\n220 other code inside\r\n230-still\r\n230\r\n";
    ReplyReader reader;
    ASSERT_TRUE(reader.feed(bytes.data(), bytes.size()));
    FtpReply reply;
    ASSERT_TRUE(reader.next(reply));
    EXPECT_EQ(reply.code, 230);
    EXPECT_EQ(reply.lines.size(), 4u);
    EXPECT_FALSE(reader.next(reply));
}

TEST(FtpReplyParsing, QuotedPathOf257) {
    std::string path;
    EXPECT_TRUE(ftp::parseQuotedPath("\"/pub/a b\" is current", path));
    EXPECT_EQ(path, "/pub/a b");
    EXPECT_TRUE(ftp::parseQuotedPath("\"/say \"\"hi\"\"\" created", path));
    EXPECT_EQ(path, "/say \"hi\"");
    EXPECT_FALSE(ftp::parseQuotedPath("\"/unterminated", path));
    EXPECT_FALSE(ftp::parseQuotedPath("no quotes here", path));
    EXPECT_FALSE(ftp::parseQuotedPath("\"\"", path));
}

// Servers that do not double quotes inside the path: the path asked for
// wins, else the longest reading whose closing quote ends a word.
TEST(FtpReplyParsing, QuotedPathWithSingleQuotesInside) {
    std::string path;
    EXPECT_TRUE(ftp::parseQuotedPath("\"/q\"uote\" is your current location", path));
    EXPECT_EQ(path, "/q\"uote");
    EXPECT_TRUE(ftp::parseQuotedPath("\"/a\" b\" is current", path));
    EXPECT_EQ(path, "/a\" b");
    EXPECT_TRUE(ftp::parseQuotedPath("\"/a\" b\" is current", path, "/a"));
    EXPECT_EQ(path, "/a");
    EXPECT_TRUE(ftp::parseQuotedPath("\"/a\" b\" is current", path, "/a\" b/"));
    EXPECT_EQ(path, "/a\" b");
    // A server that doubles them is read the standard way.
    EXPECT_TRUE(ftp::parseQuotedPath("\"/x\"\"y\" is \"here\"", path));
    EXPECT_EQ(path, "/x\"y");
    // The last name alone identifies what was asked for.
    EXPECT_TRUE(ftp::parseQuotedPath("\"/pub/q\"t\" created", path, "q\"t"));
    EXPECT_EQ(path, "/pub/q\"t");
    EXPECT_EQ(ftp::lastPathName("/pub/trail_/"), "trail_");
    EXPECT_EQ(ftp::lastPathName("/"), "");
    EXPECT_EQ(ftp::lastPathName("plain "), "plain ");
}

TEST(FtpReplyParsing, PassivePortsAndFeatures) {
    EXPECT_EQ(ftp::parseEpsvPort("Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ftp::parseEpsvPort("Entering (|||99999|)"), 0);
    EXPECT_EQ(ftp::parseEpsvPort("Entering (||6446|)"), 0);
    EXPECT_EQ(ftp::parsePasvPort("Entering Passive Mode (10,0,0,1,19,137)."), 19 * 256 + 137);
    EXPECT_EQ(ftp::parsePasvPort("Entering Passive Mode (10,0,0,1,19)"), 0);
    EXPECT_EQ(ftp::parsePasvPort("(10,0,0,1,300,1)"), 0);

    FtpReply feat{211, {"211-Features:", " MLST type*;size*;", " utf8", " EPSV", "211 End"}};
    ftp::ServerFeatures features = ftp::parseFeatures(feat);
    EXPECT_TRUE(features.mlst);
    EXPECT_TRUE(features.utf8);
    EXPECT_TRUE(features.epsv);
    EXPECT_FALSE(features.eprt);
    EXPECT_FALSE(ftp::parseFeatures(FtpReply{500, {"500 MLST UTF8"}}).mlst);
}

} // namespace
