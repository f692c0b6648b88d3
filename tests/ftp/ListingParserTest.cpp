#include "ftp/ListingParser.h"
#include "ftp/NamePattern.h"
#include "ftp/WireNames.h"
#include "platform/TextCodec.h"

#include <gtest/gtest.h>

namespace {

using ftp::ListingEntry;

const ftp::ListingDate kToday{2024, 3, 10};

// The one entry a single-line listing holds; false when it holds none.
bool readOne(const std::string& line, bool mlsd, ListingEntry& entry) {
    std::vector<ListingEntry> entries = ftp::parseListing(line, mlsd, kToday);
    if (entries.size() != 1)
        return false;
    entry = entries.front();
    return true;
}

ListingEntry parseList(const std::string& line) {
    ListingEntry entry;
    EXPECT_TRUE(readOne(line, false, entry)) << line;
    return entry;
}

bool parseMlsd(const std::string& line, ListingEntry& entry) {
    return readOne(line, true, entry);
}

TEST(ListingParser, UnixLinesWithAndWithoutGroupYearOrTime) {
    ListingEntry e = parseList("-rw-r--r--   1 root     root        13 Dec 08 19:27 中文文件.txt");
    EXPECT_EQ(e.wireName, "中文文件.txt");
    EXPECT_EQ(e.size, 13);
    EXPECT_EQ(e.attributes, 128);
    // December with today in March: last year.
    EXPECT_EQ(e.time.year, 2023);
    EXPECT_EQ(e.time.month, 12);
    EXPECT_EQ(e.time.hour, 19);
    EXPECT_EQ(e.time.minute, 27);

    e = parseList("drwxr-xr-x 2 1000 4096 Feb  1  2019 my folder");
    EXPECT_EQ(e.wireName, "my folder");
    EXPECT_EQ(e.attributes, 16);
    EXPECT_EQ(e.time.year, 2019);
    EXPECT_EQ(e.time.day, 1);

    e = parseList("-r--r--r--    1 14       50     5368709120 Mar 01 10:00 big  two spaces.iso");
    EXPECT_EQ(e.wireName, "big  two spaces.iso");
    EXPECT_EQ(e.size, 5368709120);  // 5 GiB, not cut to 32 bits
    EXPECT_EQ(e.attributes, 129);
    EXPECT_EQ(e.time.year, 2024);

    e = parseList("lrwxrwxrwx 1 0 0 7 Jan 02 2020 latest -> v1.2.3");
    EXPECT_EQ(e.wireName, "latest");
}

TEST(ListingParser, DosAndIisLines) {
    ListingEntry e = parseList("12-08-24  07:27PM       <DIR>          Program Files");
    EXPECT_EQ(e.wireName, "Program Files");
    EXPECT_EQ(e.attributes, 16);
    EXPECT_EQ(e.time.year, 2024);
    EXPECT_EQ(e.time.hour, 19);

    e = parseList("01-31-1999  12:05AM            1,234,567 old report.doc");
    EXPECT_EQ(e.size, 1234567);
    EXPECT_EQ(e.time.year, 1999);
    EXPECT_EQ(e.time.hour, 0);
    EXPECT_EQ(e.attributes, 128);

    e = parseList("03-04-85  23:59  42 a.txt");
    EXPECT_EQ(e.time.year, 1985);
    EXPECT_EQ(e.time.hour, 23);
    EXPECT_EQ(e.size, 42);
}

TEST(ListingParser, MlsdFactsAnyCaseAndSkipsCurrentAndParent) {
    ListingEntry e;
    ASSERT_TRUE(parseMlsd("Type=file;Size=6442450944;Modify=20240102030405.123;Perm=r; iso image.iso", e));
    EXPECT_EQ(e.wireName, "iso image.iso");
    EXPECT_EQ(e.size, 6442450944);
    EXPECT_EQ(e.attributes, 129);  // no "w" permission
    EXPECT_EQ(e.time.year, 2024);
    EXPECT_EQ(e.time.second, 5);
    ASSERT_TRUE(parseMlsd("type=dir;perm=flcdmpe;modify=20200101000000; sub", e));
    EXPECT_EQ(e.attributes, 16);
    EXPECT_FALSE(parseMlsd("type=cdir;perm=el; .", e));
    EXPECT_FALSE(parseMlsd("type=PDIR; ..", e));
    EXPECT_FALSE(parseMlsd("no-space-at-all", e));
}

TEST(ListingParser, WholeListingSkipsJunkAndHostileNames) {
    std::string listing =
        "total 24\n"
        "\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 good.txt\n"
        "this line means nothing\n"
        "drwxr-xr-x 2 0 0 0 Jan 01 2020 .\n"
        "drwxr-xr-x 2 0 0 0 Jan 01 2020 ..\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 ../x\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 a/b\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 bell\x07name\n"
        "-rw-r--r-- 1 0 0 2 Jan 01 2020 last.txt";  // no final line end
    std::vector<ListingEntry> entries = ftp::parseListing(listing, false, kToday);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].wireName, "good.txt");
    EXPECT_EQ(entries[1].wireName, "last.txt");

    const char nulLine[] = "-rw-r--r-- 1 0 0 1 Jan 01 2020 nul\0name\r\n";
    std::string withNul(nulLine, sizeof nulLine - 1);
    EXPECT_TRUE(ftp::parseListing(withNul, false, kToday).empty());
    EXPECT_TRUE(ftp::parseListing("type=file;size=1; a/b\r\ntype=file;size=1; ok\r\n", true, kToday).size() == 1);
}

TEST(NamePattern, SplitsDirectoryAndMask) {
    auto split = ftp::splitPattern("/pub/*.*");
    EXPECT_EQ(split.directory, "/pub");
    EXPECT_EQ(split.mask, "*");
    split = ftp::splitPattern("dir/*");
    EXPECT_EQ(split.directory, "dir");
    EXPECT_EQ(split.mask, "*");
    split = ftp::splitPattern("/x.txt");
    EXPECT_EQ(split.directory, "/");
    EXPECT_EQ(split.mask, "x.txt");
    split = ftp::splitPattern("*.*");
    EXPECT_EQ(split.directory, "");
    EXPECT_EQ(split.mask, "*");
    split = ftp::splitPattern("/pub/");
    EXPECT_EQ(split.mask, "*");
}

TEST(NamePattern, MatchesStarAndQuestionMark) {
    EXPECT_TRUE(ftp::matchesMask("report.txt", "*.TXT"));
    EXPECT_TRUE(ftp::matchesMask("a.b.c", "*.c"));
    EXPECT_TRUE(ftp::matchesMask("中.txt", "?.txt"));  // one character, three bytes
    EXPECT_FALSE(ftp::matchesMask("ab.txt", "?.txt"));
    EXPECT_TRUE(ftp::matchesMask("", "*"));
    EXPECT_FALSE(ftp::matchesMask("abc", "a*d"));
    EXPECT_TRUE(ftp::matchesMask("aaaab", "*a*b"));
    EXPECT_TRUE(ftp::matchesMask("noext", "*"));
}

std::vector<std::string> listedNames(ftp::WireNames& names, const std::string& directory,
                                     const std::vector<std::string>& wires) {
    std::vector<std::string> out;
    for (const ftp::ListedName& listed : names.namesOfListing(directory, wires))
        out.push_back(listed.name);
    return out;
}

TEST(WireNames, GbkNamesGoBackInTheirOwnBytes) {
    ftp::WireNames names;
    names.reset(false);
    EXPECT_EQ(listedNames(names, "/pub", {"plain.txt", "中文.txt"}),
              (std::vector<std::string>{"plain.txt", "中文.txt"}));
    EXPECT_FALSE(names.usesGb18030());
    EXPECT_EQ(names.pathToWire("/pub/新.txt"), "/pub/新.txt");

    std::string gbk = platform::utf8ToGb18030("报告");
    EXPECT_EQ(listedNames(names, "/docs", {gbk}), std::vector<std::string>{"报告"});
    EXPECT_TRUE(names.usesGb18030());
    EXPECT_EQ(names.pathToWire("/docs/报告"), "/docs/" + gbk);
    // New names follow the encoding the server showed; listed UTF-8 names keep theirs.
    EXPECT_EQ(names.pathToWire("新建"), platform::utf8ToGb18030("新建"));
    // Bytes that are not UTF-8 (a local name in another encoding) go as
    // they are, not re-encoded into "?".
    EXPECT_EQ(names.pathToWire("/docs/b\xff.txt"), "/docs/b\xff.txt");
    EXPECT_EQ(names.pathToWire("/pub/中文.txt"), "/pub/中文.txt");
    EXPECT_EQ(names.pathFromWire("/" + gbk + "/x"), "/报告/x");
    EXPECT_EQ(names.pathToWire("/报告/x"), "/" + gbk + "/x");

    ftp::WireNames announced;
    announced.reset(true);
    listedNames(announced, "/", {gbk});
    EXPECT_FALSE(announced.usesGb18030());
    EXPECT_EQ(announced.pathToWire("新建"), "新建");
    EXPECT_EQ(announced.pathToWire("/报告"), "/" + gbk);
}

// Names that read the same once decoded stay apart, and each shown name
// leads back to its own bytes, also when another folder holds the same text
// in other bytes.
TEST(WireNames, NamesThatReadTheSameStayDistinct) {
    ftp::WireNames names;
    names.reset(true);
    const std::string gbk = platform::utf8ToGb18030("中");
    const std::vector<std::string> wires = {gbk + ".txt", "中.txt", "a\xFF", "a\xff", "a\xFE", "\xD6\xD0.txt"};
    const std::vector<std::string> shown = listedNames(names, "/mixed", wires);
    ASSERT_EQ(shown.size(), wires.size());
    EXPECT_EQ(shown[1], "中.txt");       // the exact UTF-8 name keeps its text
    EXPECT_EQ(shown[2], "a\\xFF");     // also when it looks like an escape
    EXPECT_EQ(shown[4], "a\\xFE");
    EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()).size(), shown.size());
    for (std::size_t i = 0; i < wires.size(); ++i)
        EXPECT_EQ(names.pathToWire("/mixed/" + shown[i]), "/mixed/" + wires[i]) << shown[i];

    // Another folder where the GBK name is alone shows it decoded.
    EXPECT_EQ(listedNames(names, "/only/", {gbk + ".txt"}), std::vector<std::string>{"中.txt"});
    EXPECT_EQ(names.pathToWire("/only/中.txt"), "/only/" + gbk + ".txt");
    EXPECT_EQ(names.pathToWire("/mixed/中.txt"), "/mixed/中.txt");
    // A new name in a listed folder is not taken for one seen elsewhere.
    EXPECT_EQ(names.pathToWire("/mixed/x/中.txt"), "/mixed/x/" + gbk + ".txt");
}

} // namespace
