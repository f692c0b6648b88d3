// Links on the server through the real main window: pyftpdlib, whose MLSD
// reports a link as what it points to, and vsftpd, whose LIST shows
// "l... name -> target" without saying what the target is.
#include "ftp/EntryKind.h"
#include "platform/LocalFiles.h"
#include "tests/transfer/TransferTestSupport.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

bool linkExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

void makeLink(const std::string& target, const std::string& path) {
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path;
}

std::vector<std::string> rowNames(ConnectedWindow& c) {
    std::vector<std::string> names;
    for (int i = 0; i < c.w().远程文件框.itemCount(); ++i)
        names.push_back(c.w().远程文件框.itemText(i));
    return names;
}

int row(ConnectedWindow& c, const std::string& name) {
    return c.w().远程文件框.findItem(name);
}

void goUp(ConnectedWindow& c) {
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>("反退钮"), Qt::LeftButton);
    waitForWorkers();
}

} // namespace

TEST(RemoteLinks, MlsdLinksAreEnteredFetchedAndDeletedAsLinks) {
    TempFolder site;
    site.write("realdir/inside.txt", "inside");
    site.write("real.txt", "the target's bytes");
    makeLink("realdir", site.file("www"));
    makeLink("real.txt", site.file("lfile.txt"));
    PyFtpdServer server;
    ASSERT_TRUE(server.start(site.path()));
    ConnectedWindow c(server.port(), kPyFtpdUser, kPyFtpdPassword);
    MainWindow& w = c.w();
    ASSERT_EQ(w.状态条1.paneText(0), "连接服务器成功");

    // MLSD calls www a folder and lfile.txt a file: what they point to.
    const int www = row(c, "www");
    ASSERT_GE(www, 0);
    EXPECT_EQ(w.远程文件框.itemImage(www), 0);
    EXPECT_EQ(w.远程文件框.itemImage(row(c, "lfile.txt")), 7);

    // Downloading the link to a file fetches the file.
    c.select("远程文件框", {"lfile.txt"});
    QTest::mouseClick(c.h.form()->findChild<QPushButton*>("下载钮"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return w.下载钮.caption() == "下载" && runningWorkers() == 0; }));
    EXPECT_EQ(c.local.read("lfile.txt"), "the target's bytes");

    doubleClickRemoteRow(c.h, www);
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "/www");
    EXPECT_EQ(rowNames(c), std::vector<std::string>{"inside.txt"});

    // Deleting the link removes the link alone.
    goUp(c);
    c.select("远程文件框", {"www"});
    c.h.form()->findChild<QAction*>("删除文件或目录(&S)")->trigger();
    ASSERT_TRUE(waitUntil([&] { return runningWorkers() == 0 && w.状态条1.paneText(1) != "正在删除文件..."; }));
    EXPECT_FALSE(linkExists(site.file("www")));
    EXPECT_EQ(site.read("realdir/inside.txt"), "inside");
    EXPECT_EQ(row(c, "www"), -1);
}

TEST(RemoteLinks, ListLinksAreTriedAsFoldersAndOtherwiseOpenedAsFiles) {
    VsftpdServer vs;
    if (!vs.available())
        GTEST_SKIP() << "vsftpd needs root";
    TempFolder root;
    root.write("pub/realdir/inside.txt", "inside");
    root.write("pub/real.txt", "file behind links");
    makeLink("realdir", root.file("pub/site.v2"));  // a folder the name takes for a file
    makeLink("real.txt", root.file("pub/notes"));   // a file the name takes for a folder
    ASSERT_TRUE(vs.start(root.path())) << vs.errors();
    FakeOpener opener;
    ConnectedWindow c(vs.port(), "anonymous", "x", "/pub");
    MainWindow& w = c.w();
    ASSERT_EQ(w.状态条1.paneText(0), "连接服务器成功");

    // Until tried, the icon follows the name.
    EXPECT_EQ(w.远程文件框.itemValue(row(c, "site.v2")), kKindLink);
    EXPECT_EQ(w.远程文件框.itemImage(row(c, "site.v2")), 5);
    EXPECT_EQ(w.远程文件框.itemValue(row(c, "notes")), kKindLink);
    EXPECT_EQ(w.远程文件框.itemImage(row(c, "notes")), 0);

    // The server does not enter "notes": it is downloaded and opened.
    doubleClickRemoteRow(c.h, row(c, "notes"));
    waitForWorkers();
    EXPECT_EQ(opener.opened(), c.local.file("notes") + "\n");
    EXPECT_EQ(c.local.read("notes"), "file behind links");
    EXPECT_TRUE(c.logHas("notes    下载成功"));
    EXPECT_EQ(w.远程文件框.itemImage(row(c, "notes")), 5);
    EXPECT_EQ(w.FTP目录框.text(), "/pub");

    doubleClickRemoteRow(c.h, row(c, "site.v2"));
    waitForWorkers();
    EXPECT_EQ(w.FTP目录框.text(), "/pub/site.v2");
    EXPECT_EQ(rowNames(c), std::vector<std::string>{"inside.txt"});

    // Back in the folder, both icons say what the links turned out to be.
    goUp(c);
    EXPECT_EQ(w.远程文件框.itemImage(row(c, "site.v2")), 0);
    EXPECT_EQ(w.远程文件框.itemImage(row(c, "notes")), 5);
    for (const std::string& line : c.logLines())
        EXPECT_EQ(line.find("失败"), std::string::npos) << line;
}
