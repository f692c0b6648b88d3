// Listing lines of each family of servers, written from the formats: every
// line must give its entry with the right name, type and size, and a
// listing must lose no line without counting it.
#include "ftp/ListingParser.h"
#include "ftp/ListingText.h"
#include "platform/TextCodec.h"

#include <gtest/gtest.h>

namespace {

using ftp::ListingEntry;

const ftp::ListingDate kToday{2024, 3, 10};

enum Kind { File, Folder, Link, FolderLink };

struct Expected {
    std::string name;
    Kind kind;
    int64_t size;
};

Kind kindOf(const ListingEntry& e) {
    const bool folder = (e.attributes & ftp::kAttrDirectory) != 0;
    if (e.attributes & ftp::kAttrLink)
        return folder ? FolderLink : Link;
    return folder ? Folder : File;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// Reads the lines as one listing and compares every entry.
std::vector<ListingEntry> expectListing(const std::vector<std::string>& lines, const std::vector<Expected>& expected,
                                        bool mlsd = false) {
    const ftp::ParsedListing parsed = ftp::readListing(joined(lines), mlsd, kToday);
    EXPECT_EQ(parsed.unreadableLines, 0);
    EXPECT_EQ(parsed.entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size() && i < parsed.entries.size(); ++i) {
        const ListingEntry& e = parsed.entries[i];
        EXPECT_EQ(e.wireName, expected[i].name) << "entry " << i;
        EXPECT_EQ(kindOf(e), expected[i].kind) << expected[i].name;
        EXPECT_EQ(e.size, expected[i].size) << expected[i].name;
    }
    return parsed.entries;
}

void expectTime(const ListingEntry& e, int year, int month, int day, int hour, int minute) {
    EXPECT_EQ(e.time.year, year) << e.wireName;
    EXPECT_EQ(e.time.month, month) << e.wireName;
    EXPECT_EQ(e.time.day, day) << e.wireName;
    EXPECT_EQ(e.time.hour, hour) << e.wireName;
    EXPECT_EQ(e.time.minute, minute) << e.wireName;
}

TEST(ListingFamilies, UnixInEveryLocaleAndLayout) {
    const std::string gbkMonth = "3" + platform::utf8ToGb18030("月");
    const auto entries = expectListing(
        {
            "total 120",
            "-rw-r--r--   1 root     root        13 Dec 08 19:27 中文文件.txt",
            "drwxr-xr-x 2 1000 4096 Feb  1  2019 my folder",
            "-rw-r--r-- 1 user group 1234 2023-03-20 10:00 iso date.txt",
            "-rw-r--r-- 1 user group 5678 2023-03-20 10:00:59.123456789 +0800 full iso.txt",
            "-rw-r--r-- 1 user group 42 03-09 10:00 recent iso.txt",
            "-rw-r--r-- 1 user group 100 3月  9 10:00 中文月份.txt",
            "-rw-r--r-- 1 user group 101 " + gbkMonth + "  9 10:00 gbk month.txt",
            "-rw-r--r-- 1 user group 200  3月 20日  2023 日本語.txt",
            "-rw-r--r-- 1 user group 300  3월 20일 10:00 한국어.txt",
            "-rw-r--r-- 1 user group 301 2023年03月20日 年月日.txt",
            "-rw-r--r-- 1 user group 400 26. Juli 10:00 deutsch.txt",
            "-rw-r--r-- 1 user group 401  3. Dez.  2021 kurz.txt",
            "-rw-r--r-- 1 user group 500 márc. 20., 10.00 magyar.txt",
            "-rw-r--r-- 1 user group 501 2022. márc. 20. régi.txt",
            "drwxr-xr-x 2 user group 4096 déc.  3  2021 français",
            "-rw-r--r-- 1 user group 502 мар 20 10:00 русский.txt",
            "-rw-r--r-- 1 user group 600 20 Mar 10:00 day first.txt",
            "-rw-r--r-- 1 user group 700 20.03.2023 10:00 dotted.txt",
            "-rw-r--r-- 1 user group 800 2023/03/20 slashed.txt",
            "-rw-r--r-- 1 user group 900 Mar  9 24:00 midnight.txt",
            "-rw-r--r-- 1 user group 901 Mar 20 10:00:00 2021 seconds and year.txt",
            "-rw-r--r-- 1 user group 1000 no date.txt",
            "-rw-r--r--   1 ftpuser  ftpusers1048576 Mar 20 10:00 run into group.bin",
            "-rw-r--r-- 1 1000 1000 2023 Mar 20 10:00 size like a year.txt",
            "-rw-r--r-- 1 user group 12 Mar 20 10:00 2024 report.txt",
            "644 1 user group 1100 Mar 20 10:00 numeric.txt",
            "040755 2 user group 4096 Mar 20 10:00 numeric folder",
            "-rw-r--r--+ 1 user group 1200 Mar 20 10:00 acl.txt",
            "lrwxrwxrwx 1 0 0 7 Jan 02 2020 latest -> v1.2.3",
            "crw-rw-rw- 1 root root 1, 3 Mar 20 10:00 null",
            "-rw-r--r-- 1 user group 1400 Mar 20 10:00  leading blank",
            "-rw-r--r-- 1 user group 1500 Mar 20 10:00 trailing blanks  ",
            "-C--E-----FTP B QUA1I1      18128       41 Aug 12 13:56 QUADTEST",
            "-rw-r--r-- 1 user group 1600 3 20 10:00 numeric month.txt",
        },
        {
            {"中文文件.txt", File, 13},
            {"my folder", Folder, 4096},
            {"iso date.txt", File, 1234},
            {"full iso.txt", File, 5678},
            {"recent iso.txt", File, 42},
            {"中文月份.txt", File, 100},
            {"gbk month.txt", File, 101},
            {"日本語.txt", File, 200},
            {"한국어.txt", File, 300},
            {"年月日.txt", File, 301},
            {"deutsch.txt", File, 400},
            {"kurz.txt", File, 401},
            {"magyar.txt", File, 500},
            {"régi.txt", File, 501},
            {"français", Folder, 4096},
            {"русский.txt", File, 502},
            {"day first.txt", File, 600},
            {"dotted.txt", File, 700},
            {"slashed.txt", File, 800},
            {"midnight.txt", File, 900},
            {"seconds and year.txt", File, 901},
            {"no date.txt", File, 1000},
            {"run into group.bin", File, 1048576},
            {"size like a year.txt", File, 2023},
            {"2024 report.txt", File, 12},
            {"numeric.txt", File, 1100},
            {"numeric folder", Folder, 4096},
            {"acl.txt", File, 1200},
            {"latest", Link, 7},
            {"null", File, 0},
            {" leading blank", File, 1400},
            {"trailing blanks  ", File, 1500},
            {"QUADTEST", File, 41},
            {"numeric month.txt", File, 1600},
        });
    ASSERT_EQ(entries.size(), 34u);
    expectTime(entries[0], 2023, 12, 8, 19, 27);   // December seen in March: last year
    expectTime(entries[3], 2023, 3, 20, 10, 0);
    expectTime(entries[5], 2024, 3, 9, 10, 0);
    expectTime(entries[7], 2023, 3, 20, 0, 0);
    expectTime(entries[8], 2023, 3, 20, 10, 0);     // 20 March is ahead of 10 March
    expectTime(entries[10], 2023, 7, 26, 10, 0);
    expectTime(entries[11], 2021, 12, 3, 0, 0);
    expectTime(entries[12], 2023, 3, 20, 10, 0);
    expectTime(entries[13], 2022, 3, 20, 0, 0);
    expectTime(entries[16], 2023, 3, 20, 10, 0);
    expectTime(entries[17], 2023, 3, 20, 10, 0);
    expectTime(entries[19], 2024, 3, 10, 0, 0);     // 24:00 is the next day's start
    expectTime(entries[20], 2021, 3, 20, 10, 0);
    expectTime(entries[33], 2023, 3, 20, 10, 0);
}

// "ls -h" and servers like it: sizes with a unit of 1024 bytes, read as
// the nearest byte count.
TEST(ListingFamilies, UnixSizesWithUnits) {
    expectListing(
        {
            "-rw-r--r--   1 ftp  ftp   33.5k Mar 20 10:00 report.pdf",
            "-rw-r--r--   1 ftp  ftp      2M Mar 20 10:00 image.iso",
            "-rw-r--r--   1 ftp  ftp    1.2G Mar 20  2023 backup.tar",
            "drwxr-xr-x   2 ftp  ftp    4.0K 2023-03-20 10:00 photos 2023",
            "-rw-r--r--   1 ftp  ftp    1,5M 20. Mär 10:00 komma.bin",
            "-rw-r--r--   1 ftp  ftp    512B Mar 20 10:00 tiny.txt",
            "-rw-r--r--   1 ftp  ftp  1.5KiB Mar 20 10:00 kib.txt",
            "-rw-r--r--   1 ftp  ftp     3MB Mar 20 10:00 megabytes.bin",
            "-rw-r--r--   1 ftp  ftp  0.001k Mar 20 10:00 rounded.txt",
            "-rw-r--r--   1 ftp  ftp     700 Mar 20 10:00 plain.txt",
        },
        {
            {"report.pdf", File, 34304},
            {"image.iso", File, 2 * 1048576},
            {"backup.tar", File, 1288490189},  // 1.2 * 2^30 = 1288490188.8
            {"photos 2023", Folder, 4096},
            {"komma.bin", File, 1572864},
            {"tiny.txt", File, 512},
            {"kib.txt", File, 1536},
            {"megabytes.bin", File, 3 * 1048576},
            {"rounded.txt", File, 1},
            {"plain.txt", File, 700},
        });
}

TEST(ListingFamilies, SizeUnitsOutOfRangeAreNoSize) {
    using ftp::listing::sizeWithUnit;
    EXPECT_EQ(sizeWithUnit("8191P"), 8191 * (int64_t{1} << 50));
    EXPECT_EQ(sizeWithUnit("8192P"), -1);  // past 2^63
    EXPECT_EQ(sizeWithUnit("9999999999999k"), -1);
    EXPECT_EQ(sizeWithUnit("1.2345k"), -1);
    EXPECT_EQ(sizeWithUnit("12"), -1);
    EXPECT_EQ(sizeWithUnit("k"), -1);
    EXPECT_EQ(sizeWithUnit(".5k"), -1);
    EXPECT_EQ(sizeWithUnit("5x"), -1);
    EXPECT_EQ(sizeWithUnit("1bB"), -1);
}

// Mode, owner and group ids, size and a Unix time (UTC), then the name.
TEST(ListingFamilies, NumericListingsWithUnixTimes) {
    const auto entries = expectListing(
        {
            "100644 1000 1000 1234 1710000000 notes.txt",
            "40755 0 0 4096 1078524000 old folder",
            "120777 0 0 11 1700000000 latest",
            "0644 33 33 0 0 empty file",
            "100444 1000 1000 5368709120 1710000000 2024 report.pdf",
            "20666 0 0 0 1710000000 tty",
            "100644 1000 1000 77 1710000000  leading blank.txt",
        },
        {
            {"notes.txt", File, 1234},
            {"old folder", Folder, 4096},
            {"latest", Link, 11},
            {"empty file", File, 0},
            {"2024 report.pdf", File, 5368709120},
            {"tty", File, 0},
            {" leading blank.txt", File, 77},
        });
    ASSERT_EQ(entries.size(), 7u);
    expectTime(entries[0], 2024, 3, 9, 16, 0);
    expectTime(entries[1], 2004, 3, 5, 22, 0);
    expectTime(entries[2], 2023, 11, 14, 22, 13);
    expectTime(entries[3], 1970, 1, 1, 0, 0);
    EXPECT_EQ(entries[4].attributes & ftp::kAttrReadOnly, ftp::kAttrReadOnly);
    EXPECT_EQ(entries[0].attributes & ftp::kAttrReadOnly, 0);
}

// "Oct 08, 2002 09:47": the time after the year is the date's, not the
// name's; a name that looks like a time stays the name.
TEST(ListingFamilies, DatesWithAComma) {
    const auto entries = expectListing(
        {
            "-rw-r--r-- 1 owner group 1234 Oct 08, 2002 09:47 report.doc",
            "drwxr-xr-x 1 owner group    0 Oct 8, 2002 9:47 Shared Docs",
            "-rw-r--r-- 1 owner group   99 Jan 15, 2024 11:05 PM evening.txt",
            "-rw-r--r-- 1 owner group    5 15 Jan, 2024 07:30 day first.txt",
            "-rw-r--r-- 1 owner group    7 Dec 31, 2023 no time.txt",
            "-rw-r--r-- 1 owner group    8 Mar 20, 2023 10:00",
            "-rw-r--r-- 1 owner group    9 Feb 29, 2024 12:00 AM midnight.txt",
        },
        {
            {"report.doc", File, 1234},
            {"Shared Docs", Folder, 0},
            {"evening.txt", File, 99},
            {"day first.txt", File, 5},
            {"no time.txt", File, 7},
            {"10:00", File, 8},
            {"midnight.txt", File, 9},
        });
    ASSERT_EQ(entries.size(), 7u);
    expectTime(entries[0], 2002, 10, 8, 9, 47);
    expectTime(entries[1], 2002, 10, 8, 9, 47);
    expectTime(entries[2], 2024, 1, 15, 23, 5);
    expectTime(entries[3], 2024, 1, 15, 7, 30);
    expectTime(entries[4], 2023, 12, 31, 0, 0);
    expectTime(entries[5], 2023, 3, 20, 0, 0);
    expectTime(entries[6], 2024, 2, 29, 0, 0);
}

// "01-jun-99": day, month name and year in one field.
TEST(ListingFamilies, DayMonthNameYearDates) {
    const auto entries = expectListing(
        {
            "-rw-r--r-- 1 owner group 1234 01-jun-99 12:00 june.txt",
            "-rw-r--r-- 1 owner group   10 01-jun-99 no time.txt",
            "drwxr-xr-x 2 owner group  512 15-Jan-2024 08:30 Archive 2024",
            "-rw-r--r-- 1 owner group    3 7-DEC-05 23:59 upper.TXT",
            "-rw-r--r-- 1 owner group    4 Jun-01-99 12:00 month first.txt",
        },
        {
            {"june.txt", File, 1234},
            {"no time.txt", File, 10},
            {"Archive 2024", Folder, 512},
            {"upper.TXT", File, 3},
            {"month first.txt", File, 4},
        });
    ASSERT_EQ(entries.size(), 5u);
    expectTime(entries[0], 1999, 6, 1, 12, 0);
    expectTime(entries[1], 1999, 6, 1, 0, 0);
    expectTime(entries[2], 2024, 1, 15, 8, 30);
    expectTime(entries[3], 2005, 12, 7, 23, 59);
    expectTime(entries[4], 1999, 6, 1, 12, 0);
}

// Dotted dates without a time are padded to the names' column: the fewest
// blanks any such line has there are padding, the rest the name's own.
TEST(ListingFamilies, DottedDatesPaddedToTheNames) {
    const auto entries = expectListing(
        {
            "drwxr-xr-x   2 ftp      ftp          4096 2004.07.15       docs",
            "-rw-r--r--   1 ftp      ftp         12345 2004.07.15       readme.txt",
            "-rw-r--r--   1 ftp      ftp            42 2004.07.16        one blank.txt",
            "lrwxrwxrwx   1 ftp      ftp             7 2004.07.15       current -> v2",
            "-rw-r--r--   1 ftp      ftp             8 15.07.2004       day first.txt",
            "-rw-r--r--   1 ftp      ftp             7 2004.07.15 10:30 timed.txt",
        },
        {
            {"docs", Folder, 4096},
            {"readme.txt", File, 12345},
            {" one blank.txt", File, 42},
            {"current", Link, 7},
            {"day first.txt", File, 8},
            {"timed.txt", File, 7},
        });
    ASSERT_EQ(entries.size(), 6u);
    expectTime(entries[1], 2004, 7, 15, 0, 0);
    expectTime(entries[5], 2004, 7, 15, 10, 30);
    expectListing({"-rw-r--r-- 1 ftp ftp 1 2004.07.15     alone.txt"}, {{"alone.txt", File, 1}});
}

// Month and day with their CJK units, and half-day words before the time,
// in the code pages servers list in (the names in the same bytes).
TEST(ListingFamilies, AsianDatesInLegacyCodePages) {
    const std::string gbk = platform::utf8ToGb18030("-rw-r--r-- 1 user group 100 3月 20日 10:00 报告.txt");
    const std::string gbkAfternoon =
        platform::utf8ToGb18030("-rw-r--r-- 1 user group 101 2023年 3月 20日 下午 03:15 下午.txt");
    const std::string gbkMonthWord = platform::utf8ToGb18030("drwxr-xr-x 2 user group 4096 三月 20日 10:00 文件夹");
    const std::string gbkJoined = platform::utf8ToGb18030("-rw-r--r-- 1 user group 103 12月9日  2023 旧.txt");
    const std::string big5 =
        "-rw-r--r-- 1 user group 200 3\xA4\xEB 20\xA4\xE9 \xA4\x55\xA4\xC8 03:15 \xB3\xF8\xA7\x69.txt";
    const std::string big5MonthWord = "-rw-r--r-- 1 user group 201 \xA4\x54\xA4\xEB  9  2023 old.txt";
    const std::string shiftJis =
        "-rw-r--r-- 1 user group 300 2023\x94\x4E 3\x8C\x8E 20\x93\xFA \x8C\xDF\x91\x4F 09:05 \x95\xF1\x8D\x90.txt";
    const std::string eucJp =
        "-rw-r--r-- 1 user group 301  3\xB7\xEE 20\xC6\xFC \xB8\xE1\xB8\xE5 10:00 \xBB\xF1\xCE\xC1";
    const std::string eucKr =
        "-rw-r--r-- 1 user group 400  3\xBF\xF9 20\xC0\xCF \xBF\xC0\xC8\xC4 03:15 \xBA\xB8\xB0\xED\xBC\xAD.txt";
    const std::string utf8 = "-rw-r--r-- 1 user group 500 3월 20일 오전 11:59 utf8.txt";
    const auto entries = expectListing(
        {gbk, gbkAfternoon, gbkMonthWord, gbkJoined, big5, big5MonthWord, shiftJis, eucJp, eucKr, utf8},
        {
            {platform::utf8ToGb18030("报告.txt"), File, 100},
            {platform::utf8ToGb18030("下午.txt"), File, 101},
            {platform::utf8ToGb18030("文件夹"), Folder, 4096},
            {platform::utf8ToGb18030("旧.txt"), File, 103},
            {"\xB3\xF8\xA7\x69.txt", File, 200},
            {"old.txt", File, 201},
            {"\x95\xF1\x8D\x90.txt", File, 300},
            {"\xBB\xF1\xCE\xC1", File, 301},
            {"\xBA\xB8\xB0\xED\xBC\xAD.txt", File, 400},
            {"utf8.txt", File, 500},
        });
    ASSERT_EQ(entries.size(), 10u);
    expectTime(entries[0], 2023, 3, 20, 10, 0);
    expectTime(entries[1], 2023, 3, 20, 15, 15);
    expectTime(entries[2], 2023, 3, 20, 10, 0);
    expectTime(entries[3], 2023, 12, 9, 0, 0);
    expectTime(entries[4], 2023, 3, 20, 15, 15);
    expectTime(entries[5], 2023, 3, 9, 0, 0);
    expectTime(entries[6], 2023, 3, 20, 9, 5);
    expectTime(entries[7], 2023, 3, 20, 22, 0);
    expectTime(entries[8], 2023, 3, 20, 15, 15);
    expectTime(entries[9], 2023, 3, 20, 11, 59);
}

TEST(ListingFamilies, WindowsDirectoryStyles) {
    const auto entries = expectListing(
        {
            "12-08-23  07:27PM       <DIR>          .",
            "12-08-23  07:27PM       <DIR>          ..",
            "12-08-23  07:27PM       <DIR>          Program Files",
            "01-31-1999  12:05AM            1,234,567 old report.doc",
            "03-04-85  23:59  42 a.txt",
            "2002-09-02  18:48       <DIR>          Windows",
            "2023/03/20  10:00             1,234 report.doc",
            "2023/03/20  上午 10:00    <DIR>          文件夹",
            "2023/03/20  下午 03:15             5,678 报告.doc",
            "2023/03/20  " + platform::utf8ToGb18030("下午") + " 03:15             9 gbk.doc",
            "20.03.2023  10:00    <DIR>          Ordner",
            "2023-03-20  10:00    <JUNCTION>     Documents and Settings [C:\\Users]",
        },
        {
            {"Program Files", Folder, 0},
            {"old report.doc", File, 1234567},
            {"a.txt", File, 42},
            {"Windows", Folder, 0},
            {"report.doc", File, 1234},
            {"文件夹", Folder, 0},
            {"报告.doc", File, 5678},
            {"gbk.doc", File, 9},
            {"Ordner", Folder, 0},
            {"Documents and Settings", FolderLink, 0},
        });
    ASSERT_EQ(entries.size(), 10u);
    expectTime(entries[0], 2023, 12, 8, 19, 27);
    expectTime(entries[1], 1999, 1, 31, 0, 5);
    expectTime(entries[3], 2002, 9, 2, 18, 48);
    expectTime(entries[6], 2023, 3, 20, 15, 15);
    expectTime(entries[8], 2023, 3, 20, 10, 0);
}

// IIS pads folder names to the column where file names start, so blanks of
// a name's own are told from the padding.
TEST(ListingFamilies, BlanksAroundNamesRoundTrip) {
    expectListing(
        {
            "03-20-23  10:00AM       <DIR>            two before",
            "03-20-23  10:00AM       <DIR>          after  ",
            "03-20-23  10:00AM                  123   lead.txt",
            "03-20-23  10:00AM                  124 plain.txt",
        },
        {{"  two before", Folder, 0}, {"after  ", Folder, 0}, {"  lead.txt", File, 123}, {"plain.txt", File, 124}});
    // Without file lines the folder column is learned from the folders.
    expectListing({"03-20-23  10:00AM       <DIR>          plain", "03-20-23  10:00AM       <DIR>           one"},
                  {{"plain", Folder, 0}, {" one", Folder, 0}});
    expectListing({"type=file;size=3;  two spaces", "type=file;size=4; end ", " facts none"},
                  {{" two spaces", File, 3}, {"end ", File, 4}, {"facts none", File, -1}}, true);
    expectListing({"+m825718503,r,s280,\t leading.html"}, {{" leading.html", File, 280}});
    expectListing(
        {
            "d [R----F--] supervisor            512       Jan 16 18:53    login",
            "- [RWCEAFMS] Admin                  99       Mar 20  2022     lead.txt",
        },
        {{"login", Folder, 0}, {" lead.txt", File, 99}});
}

TEST(ListingFamilies, MlsdFacts) {
    expectListing(
        {
            "type=cdir;modify=20230320100000; /pub",
            "type=pdir; ..",
            "type=file;size=1;modify=20230320100000; plain.txt",
            "type=file;size=12;modify=20230320100000;\ttab separated name.txt",
            "Type=Dir;Perm=el; folder; with semicolon",
            "type=OS.unix=slink:/srv/www;size=10; www",
            "Type=OS.unix=symlink;UNIX.mode=0777; link2",
            "size=5;modify=20230320100000 no final semicolon",
            "modify=20230320100000;type=dir;; doubled semicolon",
            "modify=20230320100000;perm=adfr;size=6442450944;type=file;unique=801g4804045; big.iso",
        },
        {
            {"plain.txt", File, 1},
            {"tab separated name.txt", File, 12},
            {"folder; with semicolon", Folder, 0},
            {"www", Link, 10},
            {"link2", Link, -1},  // no size fact: unknown, not empty
            {"no final semicolon", File, 5},
            {"doubled semicolon", Folder, 0},
            {"big.iso", File, 6442450944},
        },
        true);
}

TEST(ListingFamilies, VmsEntriesOverTwoLinesAndVersions) {
    const auto entries = expectListing(
        {
            "Directory SYS$SYSDEVICE:[ANONYMOUS]",
            "",
            "DISK$DATA.DIR;1          1/3       20-MAR-2023 10:00:00  [SYSTEM]  (RWE,RWE,RE,RE)",
            "README.TXT;3             5/6       20-MAR-2023 10:00:00  [GROUP,OWNER]  (RWED,RWED,RE,)",
            "README.TXT;2             4/6       19-MAR-2023 09:00:00  [GROUP,OWNER]  (RWED,RWED,RE,)",
            "A_VERY_LONG_FILE_NAME_INDEED_FOR_VMS.TXT;1",
            "                        12/18      20-MAR-2023 10:00:00.12  [GROUP,OWNER]  (RWED,RWED,RE,)",
            "SMALL.DAT;1              2          8-SEP-1996 16:09  [OWNER]  (RWED,RWED,,)",
            "LOCKED.DAT;1         %RMS-E-PRV, insufficient privilege or file protection violation",
            "",
            "Total of 6 files, 24/36 blocks.",
        },
        {
            {"DISK$DATA", Folder, 0},
            {"README.TXT", File, 5 * 512},
            {"README.TXT;2", File, 4 * 512},
            {"A_VERY_LONG_FILE_NAME_INDEED_FOR_VMS.TXT", File, 12 * 512},
            {"SMALL.DAT", File, 2 * 512},
            {"LOCKED.DAT", File, 0},
        });
    ASSERT_EQ(entries.size(), 6u);
    expectTime(entries[3], 2023, 3, 20, 10, 0);
    expectTime(entries[4], 1996, 9, 8, 16, 9);
}

// The second line of a long VMS entry, indented as the server likes (or
// not at all), belongs to the name above it.
TEST(ListingFamilies, VmsSecondLinesIndentedAnyWay) {
    const auto entries = expectListing(
        {
            "Directory DISK$USER:[FTP]",
            "",
            "A_LONG_FILE_NAME_THAT_WRAPS.TXT;1",
            "12/18      20-MAR-2023 10:00:00  [GROUP,OWNER]  (RWED,RWED,RE,)",
            "ANOTHER_LONG_FOLDER_NAME_HERE.DIR;1",
            "\t1/3\t20-MAR-2023 10:00:00\t[SYSTEM]\t(RWE,RWE,RE,RE)",
            "THIRD_LONG_NAME_IN_THIS_LIST.DAT;2",
            " 7  8-SEP-1996 16:09  [OWNER]  (RWED,RWED,,)",
            "SHORT.TXT;1              2/3       20-MAR-2023 10:00:00  [G,O]  (RWED,,,)",
            "LAST_LONG_NAME_WITHOUT_ITS_REST.TXT;1",
            "",
            "Total of 5 files, 28/42 blocks.",
        },
        {
            {"A_LONG_FILE_NAME_THAT_WRAPS.TXT", File, 12 * 512},
            {"ANOTHER_LONG_FOLDER_NAME_HERE", Folder, 0},
            {"THIRD_LONG_NAME_IN_THIS_LIST.DAT", File, 7 * 512},
            {"SHORT.TXT", File, 2 * 512},
            {"LAST_LONG_NAME_WITHOUT_ITS_REST.TXT", File, 0},
        });
    ASSERT_EQ(entries.size(), 5u);
    expectTime(entries[0], 2023, 3, 20, 10, 0);
    expectTime(entries[2], 1996, 9, 8, 16, 9);
}

TEST(ListingFamilies, NetWareEplfAndOs2) {
    expectListing(
        {
            "d [R----F--] supervisor            512       Jan 16 18:53    login",
            "- [R----F--] rhesus             214059       Oct 20 15:27    cx.exe",
            "- [RWCEAFMS] Admin                  99       Mar 20  2022    two words.txt",
        },
        {{"login", Folder, 0}, {"cx.exe", File, 214059}, {"two words.txt", File, 99}});
    expectListing(
        {
            "+i8388621.29609,m824255902,/,\tdev",
            "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF",
            "+m825718503,r,s280,up644,\tname with blanks.html",
            "+m825718503,r,\tno size fact",
        },
        {{"dev", Folder, 0}, {"RFCEPLF", File, 10376}, {"name with blanks.html", File, 280},
         {"no size fact", File, -1}});
    const auto os2 = expectListing(
        {
            "           0           DIR   12-30-97   12:32  jbom",
            "         345  A              03-09-98   12:42  ftp.log",
            "       36611  A              04-23-103  10:57  OS2 test1.file",
        },
        {{"jbom", Folder, 0}, {"ftp.log", File, 345}, {"OS2 test1.file", File, 36611}});
    ASSERT_EQ(os2.size(), 3u);
    expectTime(os2[2], 2003, 4, 23, 10, 57);
}

TEST(ListingFamilies, As400Objects) {
    expectListing(
        {
            "QSYS           77824 02/23/00 15:09:55 *DIR       QOpenSys/",
            "QDOC          159744 11/12/99 15:05:34 *FLR       QDLS/",
            "QSYS          274432 02/23/00 15:19:48 *LIB       QGPL.LIB/",
            "PEDRO         135168 10/07/98 14:46:43 *STMF      README.TXT",
            "PEDRO          12345 10/07/98 14:46:43 *STMF       leading and inner blanks.txt",
            "QSYS                                   *MEM       QGPL.LIB/QCLSRC.FILE/CLMEMBER.MBR",
            "BAILEYSE     5263360 06/11/97 12:27:39 *FILE      BPTFSAVF",
            "               4096 06/11/97 12:27:39 *DIR       anonymous owner/",
        },
        {
            {"QOpenSys", Folder, 0},
            {"QDLS", Folder, 0},
            {"QGPL.LIB", Folder, 0},
            {"README.TXT", File, 135168},
            {" leading and inner blanks.txt", File, 12345},
            {"CLMEMBER.MBR", File, 0},
            {"BPTFSAVF", File, 5263360},
            {"anonymous owner", Folder, 0},
        });
}

TEST(ListingFamilies, MvsDatasetsAndMembers) {
    expectListing(
        {
            "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname",
            "WYOSPT 3420   2023/03/20  1   15  FB      80  3120  PO  USER.CNTL",
            "SMS004 3390   2023/03/20  1    1  FB      80 27920  PS  JCL.OUT",
            "Migrated                                                USER.OLD.DATA",
            "Pseudo Directory                                        USER.SUBLEVEL",
            "B10142 3390   2023/03/20  1   45  VB     259 27998  PS  'QUOTED.NAME'",
        },
        {
            {"USER.CNTL", Folder, 0},
            {"JCL.OUT", File, 0},
            {"USER.OLD.DATA", File, 0},
            {"USER.SUBLEVEL", Folder, 0},
            {"QUOTED.NAME", File, 0},
        });
    expectListing(
        {
            " Name     VV.MM   Created       Changed      Size  Init   Mod   Id",
            "MEMBER1   01.01 2023/03/01 2023/03/20 10:00    10    10     0 USERID",
            "MEMBER2   01.00 2023/03/01 2023/03/20 10:00:12  120   100     5 USERID",
            "NOSTATS",
        },
        {{"MEMBER1", File, 0}, {"MEMBER2", File, 0}, {"NOSTATS", File, 0}});
    expectListing(
        {
            " Name      Size     TTR   Alias-of AC --------- Attributes --------- Amode Rmode",
            "PROGRAM1  000078   00000F          00 FO             RN RU            31    ANY",
        },
        {{"PROGRAM1", File, 0x78}});
}

TEST(ListingFamilies, ZvmAndNonStop) {
    expectListing(
        {
            "PROFILE  EXEC     V         80         13          1 2023-03-20 10:00:00 USR191",
            "README   TXT      F         80        100          3 3/20/23 10:00:00 -",
            "SUBDIR   DIR      -          -          -          - 2023-03-20 10:00:00 -",
        },
        {{"PROFILE.EXEC", File, 13 * 80}, {"README.TXT", File, 100 * 80}, {"SUBDIR", Folder, 0}});
    const auto nonStop = expectListing(
        {
            "File         Code             EOF  Last Modification    Owner  RWEP",
            "ALTERLOG        101            14 20-Mar-23 10:00:00  255,255 \"nnnn\"",
            "TESTFILE          0           146 20-Mar-23 10:00:00  100,1   \"oooo\"",
            "OPENF           101 O        3428 25-Jan-09 11:14:17  255,255 \"oooo\"",
        },
        {{"ALTERLOG", File, 14}, {"TESTFILE", File, 146}, {"OPENF", File, 3428}});
    ASSERT_EQ(nonStop.size(), 3u);
    expectTime(nonStop[2], 2009, 1, 25, 11, 14);
}

TEST(ListingFamilies, VxWorksAndOs9) {
    expectListing(
        {
            "  size          date       time       name",
            "--------       ------     ------    --------",
            "    41         FEB-24-2014  12:00:00   readme.txt",
            "   512         JAN-01-2000  00:00:00   subdir          <DIR>",
            "  1024         JAN-01-2000  00:00:00   two words.bin",
        },
        {{"readme.txt", File, 41}, {"subdir", Folder, 0}, {"two words.bin", File, 1024}});
    const auto os9 = expectListing(
        {
            "                            Directory of . 10:00:00",
            "",
            "Owner    Last modified  Attributes Sector Bytecount Name",
            "-----    -------------  ---------- ------ --------- ----",
            "  0.0    23/03/20 1000  d-ewrewr       A0       160 CMDS",
            "  0.0    23/03/20 1000  ------wr       B4     12345 startup file",
        },
        {{"CMDS", Folder, 0}, {"startup file", File, 12345}});
    ASSERT_EQ(os9.size(), 2u);
    expectTime(os9[1], 2023, 3, 20, 10, 0);
}

// Lines in no known form are counted, never silently dropped; lines that
// name no entry are not.
TEST(ListingFamilies, UnreadableLinesAreCounted) {
    const ftp::ParsedListing parsed = ftp::readListing(
        "total 3\r\n"
        "总用量 24\r\n"
        "insgesamt 24\r\n"
        " Volume in drive C has no label.\r\n"
        " Directory of C:\\ftp\r\n"
        "               1 File(s)              1 bytes\r\n"
        "\r\n"
        "drwxr-xr-x 2 0 0 0 Jan 01 2020 .\r\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 good.txt\r\n"
        "this line means nothing\r\n"
        "-rw-r--r-- 1 0 0 1 Xyz 01 11:00 bad date.txt\r\n"
        "-rw-r--r-- 1 0 0 1 Jan 01 2020 a/b\r\n",
        false, kToday);
    ASSERT_EQ(parsed.entries.size(), 1u);
    EXPECT_EQ(parsed.entries[0].wireName, "good.txt");
    EXPECT_EQ(parsed.unreadableLines, 3);

    // Lines of the newer forms that still say nothing readable.
    const ftp::ParsedListing odd = ftp::readListing(
        "-rw-r--r-- 1 u g 33.5q Mar 20 10:00 bad unit.txt\r\n"
        "100644 1000 1000 12 171000000000000 too late\r\n"
        "100644 1000 1000 12\r\n"
        "-rw-r--r-- 1 u g 1 01-jux-99 12:00 bad month.txt\r\n"
        "-rw-r--r-- 1 u g 1 Oct 08, 2002 09:47 fine.txt\r\n",
        false, kToday);
    ASSERT_EQ(odd.entries.size(), 1u);
    EXPECT_EQ(odd.entries[0].wireName, "fine.txt");
    EXPECT_EQ(odd.unreadableLines, 4);

    const ftp::ParsedListing mlsd =
        ftp::readListing("type=cdir; .\r\ntype=file;size=1; ok\r\nno facts here\r\n", true, kToday);
    EXPECT_EQ(mlsd.entries.size(), 1u);
    EXPECT_EQ(mlsd.unreadableLines, 1);
}

} // namespace
