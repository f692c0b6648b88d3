#include "app/settings/SettingsFile.h"
#include "platform/TextCodec.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

using settings::readValue;
using settings::writeValue;
using testsupport::TempFolder;

namespace {

std::string gbk(const std::string& utf8) {
    return platform::utf8ToGb18030(utf8);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// As Notepad on Chinese Windows saves it: GBK, CRLF, a comment, blanks
// around "=", a quoted value, mixed-case names and no line end at the end.
const std::string kHandWritten =
    "; Corvane\r\n"
    "[Other]\r\n"
    "自动连接=假\r\n"
    "\r\n"
    "[SHUJI]\r\n"
    "本地目录 = D:\\下载,C:\\\r\n"
    "Ip信息=\"家里|192.168.1.5|21|张三|密码\"\r\n"
    ";自动连接=真\r\n"
    "自动连接=真\r\n"
    "空值=\r\n"
    "\r\n"
    "[末尾]\r\n"
    "当前IP=3";

} // namespace

TEST(SettingsFile, ReadsFileWrittenByHandInGbkWithCrlf) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    dir.write("wangluo.ini", gbk(kHandWritten));

    EXPECT_EQ(readValue(path, "shuji", "本地目录", "x"), "D:\\下载,C:\\");
    EXPECT_EQ(readValue(path, "Shuji", "IP信息", ""), "家里|192.168.1.5|21|张三|密码");
    // The first section of the name wins over the comment and the other section.
    EXPECT_EQ(readValue(path, "shuji", "自动连接", ""), "真");
    EXPECT_EQ(readValue(path, "shuji", "空值", "默认"), "");
    EXPECT_EQ(readValue(path, "末尾", "当前ip", "-1"), "3");
    EXPECT_EQ(readValue(path, "shuji", "当前IP", "-1"), "-1");
    EXPECT_EQ(readValue(path, "无此节", "本地目录", "默认"), "默认");
}

TEST(SettingsFile, RawGbkBytesAndBracketTrailBytes) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    // "[shuji]" then 服务器目录=/中文; and a section whose name ends in 乚
    // (GBK 81 5D: its second byte is "]").
    dir.write("wangluo.ini",
              "[shuji]\r\n\xB7\xFE\xCE\xF1\xC6\xF7\xC4\xBF\xC2\xBC=/\xD6\xD0\xCE\xC4\r\n"
              "[a\x81\x5D]\r\nk=v\r\n");
    EXPECT_EQ(readValue(path, "shuji", "服务器目录", ""), "/中文");
    EXPECT_EQ(readValue(path, "a乚", "k", ""), "v");
}

TEST(SettingsFile, MissingOrEmptyNamesAndPaths) {
    TempFolder dir;
    const std::string missing = dir.file("none.ini");
    EXPECT_EQ(readValue(missing, "shuji", "IP信息", ""), "");
    EXPECT_EQ(readValue(missing, "shuji", "当前IP", "-1"), "-1");

    dir.write("wangluo.ini", "[shuji]\r\nk=v\r\n");
    const std::string path = dir.file("wangluo.ini");
    EXPECT_EQ(readValue("", "shuji", "k", "d"), "");
    EXPECT_EQ(readValue(path, "", "k", "d"), "");
    EXPECT_EQ(readValue(path, "shuji", "", "d"), "");
    EXPECT_FALSE(writeValue("", "shuji", "k", "v"));
    EXPECT_FALSE(writeValue(path, "", "k", "v"));
    EXPECT_FALSE(writeValue(path, "shuji", "", "v"));
    // A folder is not a settings file.
    EXPECT_EQ(readValue(dir.path(), "shuji", "k", "d"), "d");
    EXPECT_FALSE(writeValue(dir.path(), "shuji", "k", "v"));
}

TEST(SettingsFile, NewFileIsGbkCrlfAndOwnerOnly) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    ASSERT_TRUE(writeValue(path, "shuji", "IP信息", "公司|ftp.example.cn|21|李四|秘密"));
    ASSERT_TRUE(writeValue(path, "shuji", "服务器目录", "/网站/图片"));

    EXPECT_EQ(dir.read("wangluo.ini"),
              gbk("[shuji]\r\nIP信息=公司|ftp.example.cn|21|李四|秘密\r\n"
                  "服务器目录=/网站/图片\r\n"));
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(readValue(path, "shuji", "IP信息", ""), "公司|ftp.example.cn|21|李四|秘密");
    EXPECT_EQ(readValue(path, "shuji", "服务器目录", ""), "/网站/图片");
}

TEST(SettingsFile, WriteChangesOnlyTheValue) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    dir.write("wangluo.ini", gbk(kHandWritten));
    ::chmod(path.c_str(), 0644);

    // Existing key, different case: only the value after "= " changes.
    ASSERT_TRUE(writeValue(path, "shuji", "本地目录", "E:\\新"));
    std::string expected = kHandWritten;
    expected.replace(expected.find("D:\\下载,C:\\"), std::string("D:\\下载,C:\\").size(), "E:\\新");
    EXPECT_EQ(dir.read("wangluo.ini"), gbk(expected));

    // New key: after the last key line of its section, before the blank line.
    ASSERT_TRUE(writeValue(path, "SHUJI", "当前IP", "2"));
    expected.insert(expected.find("空值=\r\n") + std::string("空值=\r\n").size(), "当前IP=2\r\n");
    EXPECT_EQ(dir.read("wangluo.ini"), gbk(expected));

    // Key in the last section, which has no line end yet.
    ASSERT_TRUE(writeValue(path, "末尾", "IP数据", "a|b"));
    expected += "\r\nIP数据=a|b\r\n";
    EXPECT_EQ(dir.read("wangluo.ini"), gbk(expected));

    // New section at the end.
    ASSERT_TRUE(writeValue(path, "新节", "键", "值"));
    expected += "[新节]\r\n键=值\r\n";
    EXPECT_EQ(dir.read("wangluo.ini"), gbk(expected));
    EXPECT_EQ(modeOf(path), 0644u);
}

TEST(SettingsFile, NewSectionStartsOnItsOwnLineAndLfFilesStayLf) {
    TempFolder dir;
    dir.write("a.ini", "[x]\r\nk=v");
    ASSERT_TRUE(writeValue(dir.file("a.ini"), "shuji", "k", "1"));
    EXPECT_EQ(dir.read("a.ini"), "[x]\r\nk=v\r\n[shuji]\r\nk=1\r\n");

    dir.write("b.ini", "[shuji]\nk\nother=1\n");
    ASSERT_TRUE(writeValue(dir.file("b.ini"), "shuji", "k", "2"));
    ASSERT_TRUE(writeValue(dir.file("b.ini"), "shuji", "n", "3"));
    EXPECT_EQ(dir.read("b.ini"), "[shuji]\nk=2\nother=1\nn=3\n");
}

TEST(SettingsFile, LongValuesAreCutOnACharacterBoundary) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    std::string chinese;
    for (int i = 0; i < 5200; ++i)
        chinese += "中";
    // 1 + 2 * 5119 = 10239 bytes fit; the next character would not.
    ASSERT_TRUE(writeValue(path, "shuji", "odd", "a" + chinese));
    ASSERT_TRUE(writeValue(path, "shuji", "even", chinese));
    ASSERT_TRUE(writeValue(path, "shuji", "after", "ok"));

    const std::string odd = readValue(path, "shuji", "odd", "");
    EXPECT_EQ(platform::gb18030Length(odd), 10239u);
    EXPECT_EQ(odd.substr(0, 4), "a中");
    const std::string even = readValue(path, "shuji", "even", "");
    EXPECT_EQ(platform::gb18030Length(even), 10238u);
    EXPECT_TRUE(platform::isValidUtf8(even));
    EXPECT_EQ(readValue(path, "shuji", "after", ""), "ok");
}

TEST(SettingsFile, GarbageAndHugeLinesKeepTheOtherKeys) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    const std::string garbage = std::string("\xFF\x80\x81\x30\x00\x1A\xFE", 7);
    const std::string original = "[shuji]\r\n" + garbage + "=" + garbage + "\r\n" +
                                 std::string(2'000'000, 'x') + "\r\n" +
                                 "[junk\r\n" + "k=v\r\n";
    dir.write("wangluo.ini", original);

    EXPECT_EQ(readValue(path, "shuji", "k", ""), "v");
    ASSERT_TRUE(writeValue(path, "shuji", "new", "n"));
    EXPECT_EQ(dir.read("wangluo.ini"), original + "new=n\r\n");
    ASSERT_TRUE(writeValue(path, "shuji", "k", "w"));
    EXPECT_EQ(readValue(path, "shuji", "k", ""), "w");
    EXPECT_EQ(dir.read("wangluo.ini").substr(0, original.size() - 3),
              original.substr(0, original.size() - 3));
}

TEST(SettingsFile, EuroIsTheByte80OfChineseWindowsBothWays) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    const std::string server = gbk("[shuji]\r\nIP信息=家里|10.0.0.1|21|张三|") + "pa\x80ss\r\n";
    dir.write("wangluo.ini", server);
    const std::string read = readValue(path, "shuji", "IP信息", "");
    EXPECT_EQ(read, "家里|10.0.0.1|21|张三|pa€ss");
    // Written back as read, the file does not change.
    ASSERT_TRUE(writeValue(path, "shuji", "IP信息", read));
    EXPECT_EQ(dir.read("wangluo.ini"), server);
    ASSERT_TRUE(writeValue(path, "shuji", "服务器目录", "/€"));
    EXPECT_EQ(dir.read("wangluo.ini"), server + "\xB7\xFE\xCE\xF1\xC6\xF7\xC4\xBF\xC2\xBC=/\x80\r\n");
}

TEST(SettingsFile, UnstorableTextIsRefusedAndChangesNothing) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    dir.write("wangluo.ini", "[shuji]\r\nk=v\r\n");
    EXPECT_FALSE(writeValue(path, "shuji", "k", "a\r\n[evil]"));
    EXPECT_FALSE(writeValue(path, "shuji", "k", "a\nb"));
    EXPECT_FALSE(writeValue(path, "shuji", "a=b", "v"));
    EXPECT_FALSE(writeValue(path, "shuji", ";k", "v"));
    EXPECT_FALSE(writeValue(path, "a]b", "k", "v"));
    EXPECT_FALSE(writeValue(path, "  ", "k", "v"));
    EXPECT_EQ(dir.read("wangluo.ini"), "[shuji]\r\nk=v\r\n");
}

TEST(SettingsFile, WriteWithoutPermissionFailsQuietly) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not apply to root";
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    dir.write("wangluo.ini", "[shuji]\r\nk=v\r\n");

    ::chmod(path.c_str(), 0444);
    EXPECT_FALSE(writeValue(path, "shuji", "k", "w"));
    EXPECT_EQ(dir.read("wangluo.ini"), "[shuji]\r\nk=v\r\n");

    ::chmod(path.c_str(), 0000);
    EXPECT_FALSE(writeValue(path, "shuji", "k", "w"));
    EXPECT_EQ(readValue(path, "shuji", "k", "d"), "d");
    ::chmod(path.c_str(), 0600);

    dir.makeFolder("locked");
    ::chmod(dir.file("locked").c_str(), 0555);
    EXPECT_FALSE(writeValue(dir.file("locked/wangluo.ini"), "shuji", "k", "v"));
    ::chmod(dir.file("locked").c_str(), 0755);
    EXPECT_EQ(readValue(dir.file("locked/wangluo.ini"), "shuji", "k", "d"), "d");
}

// Something other than a file at the settings name (a FIFO nobody writes
// to) neither holds the program up nor gets replaced.
TEST(SettingsFile, AFifoAtTheNameIsNeitherReadNorReplaced) {
    TempFolder dir;
    const std::string path = dir.file("wangluo.ini");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(readValue(path, "shuji", "k", "d"), "d");
    EXPECT_FALSE(writeValue(path, "shuji", "k", "v"));
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

namespace {

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

// People keep the settings file as a link into a folder of their own: the
// link stays and the file it leads to changes. A link that leads nowhere
// is neither written through nor replaced by a plain file.
TEST(SettingsFile, ALinkIsWrittenThroughAndStaysALink) {
    TempFolder dir;
    TempFolder kept;
    kept.write("mine.ini", "; my comment\r\n[shuji]\r\nk=v\r\n");
    const std::string path = dir.file("wangluo.ini");
    // A relative link, as people make them.
    const std::string target = "../" + kept.path().substr(kept.path().rfind('/') + 1) + "/mine.ini";
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(readValue(path, "shuji", "k", ""), "v");
    EXPECT_TRUE(writeValue(path, "shuji", "k", "w"));
    EXPECT_TRUE(writeValue(path, "shuji", "new", "n"));
    EXPECT_TRUE(isLink(path));
    EXPECT_EQ(kept.read("mine.ini"), "; my comment\r\n[shuji]\r\nk=w\r\nnew=n\r\n");

    const std::string dangling = dir.file("other.ini");
    ASSERT_EQ(::symlink(kept.file("gone/none.ini").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(writeValue(dangling, "shuji", "k", "v"));
    EXPECT_TRUE(isLink(dangling));
    EXPECT_FALSE(std::filesystem::exists(kept.file("gone")));
}
