// Listings and replies of many kinds of servers through the real main
// window, played by the scripted server.
#include "app/state/AppState.h"
#include "ftp/EntryKind.h"
#include "local/LocalBrowser.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/Download.h"
#include "transfer/Upload.h"

#include <QAction>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>

using namespace testsupport;

namespace {

struct Row {
    std::string name;
    EntryKind kind;
    std::string size;
};

std::vector<Row> remoteRows(ConnectedWindow& c) {
    std::vector<Row> rows;
    ui::ListControl& list = c.w().远程文件框;
    for (int i = 0; i < list.itemCount(); ++i)
        rows.push_back({list.itemText(i), static_cast<EntryKind>(list.itemValue(i)), list.itemText(i, 1)});
    return rows;
}

void expectRows(ConnectedWindow& c, const std::vector<Row>& expected) {
    const std::vector<Row> rows = remoteRows(c);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, expected[i].name) << "row " << i;
        EXPECT_EQ(rows[i].kind, expected[i].kind) << expected[i].name;
        EXPECT_EQ(rows[i].size, expected[i].size) << expected[i].name;
    }
}

void refresh(ConnectedWindow& c) {
    c.h.form()->findChild<QAction*>("刷新(&A)")->trigger();
    waitForWorkers();
}

long logCount(ConnectedWindow& c, const std::string& line) {
    const std::vector<std::string> lines = c.logLines();
    return std::count(lines.begin(), lines.end(), line);
}

const char* const kMixedListing =
    "total 8\r\n"
    "drwxr-xr-x 2 user group 4096 3月  9 10:00 中文目录\r\n"
    "-rw-r--r-- 1 user group 2048 2023-03-20 10:00:00.000000000 +0800 iso.txt\r\n"
    "03-20-23  10:00AM       <DIR>          Windows Folder\r\n"
    "03-20-23  10:00AM                 1536  lead.txt\r\n"
    "03-20-23  10:00AM                    5 trail.txt  \r\n"
    "A_LONG_VMS_NAME.TXT;2\r\n"
    "                        3/4        20-MAR-2023 10:00:00  [USER]  (RWED,RWED,RE,)\r\n"
    "+i1.2,m1679306400,r,s512,\tEPLF file.bin\r\n"
    "not a listing line at all\r\n"
    "-rw-r--r-- 1 user group 5 Xyz 99 10:00 broken date.txt\r\n";

} // namespace

TEST(ServerVariety, MixedFamiliesFillTheListAndUnreadableLinesAreSaidOncePerListing) {
    ScriptedFtpServer server;
    server.setListing(kMixedListing);
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    ASSERT_EQ(c.w().状态条1.paneText(0), "连接服务器成功");
    expectRows(c, {
                      {"Windows Folder", kKindDirectory, ""},
                      {"中文目录", kKindDirectory, ""},
                      {"iso.txt", kKindFile, "2"},
                      {" lead.txt", kKindFile, "1.5"},
                      {"trail.txt  ", kKindFile, "0.005"},
                      {"A_LONG_VMS_NAME.TXT", kKindFile, "1.5"},
                      {"EPLF file.bin", kKindFile, "0.5"},
                  });
    EXPECT_EQ(c.w().状态条1.paneText(1), "文件数:7");
    EXPECT_EQ(logCount(c, "有2行列表无法识别"), 1);

    // Blanks around names go back to the server as they came.
    server.setFile("/ lead.txt", std::string(1536, 'l'));
    server.setFile("/trail.txt  ", "trail");
    c.select("远程文件框", {" lead.txt", "trail.txt  "});
    downloadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().下载钮.caption() == "下载" && runningWorkers() == 0; }));
    EXPECT_EQ(c.local.read(" lead.txt"), std::string(1536, 'l'));
    EXPECT_EQ(c.local.read("trail.txt  "), "trail");

    refresh(c);
    EXPECT_EQ(logCount(c, "有2行列表无法识别"), 2);
    server.setListing("-rw-r--r-- 1 user group 1 Mar  9 10:00 only.txt\r\n");
    refresh(c);
    expectRows(c, {{"only.txt", kKindFile, "0.001"}});
    EXPECT_EQ(logCount(c, "有2行列表无法识别"), 2);
}

TEST(ServerVariety, MlsdNamesStartAfterTheBlankThatEndsTheFacts) {
    ScriptedFtpServer server;
    server.setFeatures({"MLST type*;size*;modify*;", "UTF8"});
    server.setListing("type=cdir;modify=20230320100000; /\r\n"
                      "type=file;size=10;modify=20230320100000;\ttab then name.txt\r\n"
                      "type=file;size=2048;modify=20230320100000; semi; colon.txt\r\n"
                      "type=OS.unix=slink:/srv/www;size=7; www\r\n");
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p");
    expectRows(c, {
                      {"tab then name.txt", kKindFile, "0.01"},
                      {"semi; colon.txt", kKindFile, "2"},
                      {"www", kKindLink, "0.007"},
                  });
    EXPECT_TRUE(server.received("MLSD"));
    for (const std::string& line : c.logLines())
        EXPECT_EQ(line.find("无法识别"), std::string::npos) << line;
}

// PWD after no CWD gives the longest reading of an unescaped quote; the
// folder made by "创建目录" and by a folder upload is shown (and filled)
// under the name the server gave it, which its listing then shows.
TEST(ServerVariety, PathsAndCreatedNamesAsTheServerReportsThem) {
    ScriptedFtpServer server;
    std::mutex mutex;
    std::set<std::string> folders{"/q\"uote"};
    server.on("PWD", [](ScriptedSession& s, const std::string&) {
        s.reply("257 \"/q\"uote\" is your current location");
    });
    server.on("CWD", [&](ScriptedSession& s, const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex);
        s.reply(folders.count(path) ? "250 ok" : "550 no such folder");
    });
    // Blanks at the end of a name become "_", as on some hosting servers.
    server.on("MKD", [&](ScriptedSession& s, const std::string& path) {
        std::string stored = path;
        while (!stored.empty() && stored.back() == ' ')
            stored.back() = '_';
        std::lock_guard<std::mutex> lock(mutex);
        folders.insert(stored);
        s.reply("257 \"" + stored + "\" created");
    });
    server.on("LIST", [&](ScriptedSession& s, const std::string& path) {
        std::string listing = "-rw-r--r-- 1 user group 1 Mar  9 10:00 a.txt\r\n";
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& folder : folders)
            if (folder.size() > path.size() + 1 && folder.compare(0, path.size() + 1, path + "/") == 0)
                listing += "drwxr-xr-x 2 user group 0 Mar  9 10:00 " + folder.substr(path.size() + 1) + "\r\n";
        s.serveData(listing);
    });
    ASSERT_TRUE(server.start());
    ConnectedWindow c(server.port(), "u", "p", "");
    EXPECT_EQ(c.w().FTP目录框.text(), "/q\"uote");
    const std::vector<std::string> commands = server.commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "LIST /q\"uote"), commands.end());

    DialogAnswerer answers;
    answers.queueInput("trail ");
    c.h.form()->findChild<QAction*>("创建目录(&C)")->trigger();
    waitForWorkers();
    EXPECT_NE(c.w().远程文件框.findItem("trail_"), -1);
    EXPECT_EQ(c.w().远程文件框.findItem("trail "), -1);

    c.local.write("up /f.txt", "F");
    listLocalDirectory();
    c.select("上传文件框", {"up "});
    uploadButton();
    ASSERT_TRUE(waitUntil([&] { return c.w().上传钮.caption() == "上传" && runningWorkers() == 0; }));
    EXPECT_EQ(server.upload("/q\"uote/up_/f.txt"), "F");
    EXPECT_NE(c.w().远程文件框.findItem("up_"), -1);
    EXPECT_EQ(c.w().远程文件框.findItem("up "), -1);
}
