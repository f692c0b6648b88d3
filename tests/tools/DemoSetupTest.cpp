#include "app/settings/SettingsFile.h"
#include "serverbook/RecordDatabase.h"
#include "serverbook/ServerBook.h"
#include "tests/support/TempFolder.h"
#include "tools/DemoSetup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using serverbook::RecordDatabase;
using testsupport::TempFolder;

namespace {

struct BookRow {
    std::string name;
    std::string port;
};

std::vector<BookRow> readBook(const std::string& path) {
    std::vector<BookRow> rows;
    if (!RecordDatabase::open(path))
        return rows;
    RecordDatabase::goFirst();
    while (!RecordDatabase::atEnd()) {
        rows.push_back({RecordDatabase::readField(serverbook::kFieldServerName),
                        RecordDatabase::readField(serverbook::kFieldPort)});
        if (!RecordDatabase::skip(1))
            break;
    }
    RecordDatabase::close();
    return rows;
}

std::string setting(const TempFolder& folder, const std::string& key) {
    return settings::readValue(folder.file("wangluo.ini"), "shuji", key, "<missing>");
}

bool runSetup(const TempFolder& folder, int port, std::string& error) {
    return demo::prepareDemoSettings({folder.path(), port, folder.file("local")}, error);
}

void appendServer(const std::string& bookPath, const std::string& name) {
    serverbook::ServerBook book;
    book.addField(serverbook::kFieldServerName, 10, serverbook::kServerNameWidth);
    book.addField(serverbook::kFieldAddress, 10, serverbook::kAddressWidth);
    book.addField(serverbook::kFieldPort, 10, serverbook::kPortWidth);
    book.addField(serverbook::kFieldUserName, 10, serverbook::kUserNameWidth);
    book.addField(serverbook::kFieldPassword, 10, serverbook::kPasswordWidth);
    ASSERT_TRUE(book.create(bookPath));
    ASSERT_TRUE(book.open(bookPath));
    ASSERT_TRUE(RecordDatabase::append({name, std::string("10.0.0.1"), std::string("21"), std::string("u"),
                                        std::string("p")}));
}

} // namespace

TEST(DemoSetup, FreshFolderGetsBookEntryAndSettingsForAutoConnect) {
    TempFolder folder;
    std::string error;
    ASSERT_TRUE(runSetup(folder, 40123, error)) << error;

    const std::vector<BookRow> rows = readBook(folder.file("ipsjk.edb"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "演示服务器");
    EXPECT_EQ(rows[0].port, "40123");
    EXPECT_EQ(setting(folder, "IP信息"), "演示服务器|127.0.0.1|40123|demo|demo");
    EXPECT_EQ(setting(folder, "当前IP"), "0");
    EXPECT_EQ(setting(folder, "自动连接"), "真");
    EXPECT_EQ(setting(folder, "服务器目录"), "/");
    EXPECT_EQ(setting(folder, "本地目录"), folder.file("local"));
}

TEST(DemoSetup, SecondRunReusesTheEntryAndKeepsTheUsersFolders) {
    TempFolder folder;
    std::string error;
    ASSERT_TRUE(runSetup(folder, 40123, error)) << error;
    const std::string ini = folder.file("wangluo.ini");
    ASSERT_TRUE(settings::writeValue(ini, "shuji", "服务器目录", "/文档"));
    ASSERT_TRUE(settings::writeValue(ini, "shuji", "本地目录", "/tmp,/home"));
    ASSERT_TRUE(settings::writeValue(ini, "shuji", "自动连接", "假"));

    ASSERT_TRUE(runSetup(folder, 40999, error)) << error;

    const std::vector<BookRow> rows = readBook(folder.file("ipsjk.edb"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].port, "40999");
    EXPECT_EQ(setting(folder, "IP信息"), "演示服务器|127.0.0.1|40999|demo|demo");
    EXPECT_EQ(setting(folder, "自动连接"), "真");
    EXPECT_EQ(setting(folder, "服务器目录"), "/文档");
    EXPECT_EQ(setting(folder, "本地目录"), "/tmp,/home");
}

TEST(DemoSetup, SelectionCountsExistingServersAndLegacyNames) {
    TempFolder folder;
    appendServer(folder.file("ipsjk.edb"), "公司");
    // Two legacy names: "甲" and "乙" (every third field).
    ASSERT_TRUE(settings::writeValue(folder.file("wangluo.ini"), "shuji", "IP数据", "甲|1.1.1.1|21|乙|2.2.2.2"));
    std::string error;
    ASSERT_TRUE(runSetup(folder, 40123, error)) << error;

    const std::vector<BookRow> rows = readBook(folder.file("ipsjk.edb"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, "公司");
    EXPECT_EQ(rows[1].name, "演示服务器");
    EXPECT_EQ(setting(folder, "当前IP"), "3");
}

TEST(DemoSetup, DamagedServerBookIsReportedAndLeftAlone) {
    TempFolder folder;
    folder.write("ipsjk.edb", "not a database");
    std::string error;
    EXPECT_FALSE(runSetup(folder, 40123, error));
    EXPECT_NE(error.find("ipsjk.edb"), std::string::npos);
    EXPECT_EQ(folder.read("ipsjk.edb"), "not a database");
    EXPECT_EQ(setting(folder, "IP信息"), "<missing>");

    EXPECT_FALSE(runSetup(folder, 0, error));
}
