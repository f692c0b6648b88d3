#include "local/DropOnLocalList.h"
#include "local/LocalBrowser.h"
#include "tests/local/LocalTestSupport.h"
#include "tests/support/GuiHarness.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

using namespace testsupport;
using namespace localtest;

namespace {

QUrl fileUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

std::vector<std::string> selectedNames(ui::ListControl& list) {
    std::vector<std::string> names;
    for (int i : list.selectedItems())
        names.push_back(list.itemText(i));
    return names;
}

} // namespace

TEST(DropOnLocalList, OneFileListsItsFolderSelectsItAndRecordsTheFolder) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    form.activateWindow();
    h.controls().本地目录框.widget()->setFocus();
    TempFolder f;
    f.makeFolder("docs");
    f.write("docs/report.txt", "r");
    f.write("docs/other.txt", "o");
    MainWindow& w = h.controls();
    ASSERT_TRUE(dropOnLocalList(w, {fileUrl(f.file("docs/report.txt"))}));
    EXPECT_EQ(w.本地目录框.text(), f.file("docs"));
    EXPECT_EQ(w.上传文件框.itemCount(), 2);
    EXPECT_EQ(selectedNames(w.上传文件框), (std::vector<std::string>{"report.txt"}));
    EXPECT_EQ(QApplication::focusWidget(), w.上传文件框.widget());
    EXPECT_EQ(h.readSetting("本地目录"), f.file("docs"));
    ASSERT_EQ(w.本地目录框.itemCount(), 1);
    // The same file again: re-listed, selection moves there, no second history item.
    ASSERT_TRUE(dropOnLocalList(w, {fileUrl(f.file("docs/other.txt"))}));
    EXPECT_EQ(selectedNames(w.上传文件框), (std::vector<std::string>{"other.txt"}));
    EXPECT_EQ(w.本地目录框.itemCount(), 1);
}

TEST(DropOnLocalList, AFolderListsItsParentAndSelectsIt) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.makeFolder("docs");
    f.write("loose.txt", "x");
    MainWindow& w = h.controls();
    ASSERT_TRUE(dropOnLocalList(w, {fileUrl(f.file("docs") + "/")}));
    EXPECT_EQ(w.本地目录框.text(), f.path());
    EXPECT_EQ(selectedNames(w.上传文件框), (std::vector<std::string>{"docs"}));
}

TEST(DropOnLocalList, ANameDifferingOnlyInCaseSelectsTheListedOne) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.write("Report.TXT", "x");
    f.write("a.txt", "x");
    dropOnLocalList({f.file("report.txt")});
    EXPECT_EQ(selectedNames(h.controls().上传文件框), (std::vector<std::string>{"Report.TXT"}));
    // A dot-name is not listed: nothing is selected.
    f.write(".secret", "x");
    dropOnLocalList({f.file(".secret")});
    EXPECT_TRUE(h.controls().上传文件框.selectedItems().empty());
}

TEST(DropOnLocalList, SeveralFilesSelectEveryOneFoundInTheFirstFolder) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    for (const char* n : {"one/a.txt", "one/b.ini", "one/c.txt", "two/b.ini"})
        f.write(n, "x");
    MainWindow& w = h.controls();
    ASSERT_TRUE(dropOnLocalList(w, {fileUrl(f.file("one/a.txt")), fileUrl(f.file("two/b.ini")),
                             fileUrl(f.file("one/c.txt"))}));
    EXPECT_EQ(w.本地目录框.text(), f.file("one"));
    std::vector<std::string> selected = selectedNames(w.上传文件框);
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<std::string>{"a.txt", "c.txt"}));
    const std::string saved = h.readSetting("本地目录");
    EXPECT_EQ(saved, f.file("one"));
    EXPECT_EQ(saved.find('\n'), std::string::npos);
}

TEST(DropOnLocalList, TextAndOtherSchemesAreRefused) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.write("keep.txt", "x");
    MainWindow& w = h.controls();
    w.本地目录框.setText(f.path());
    listLocalDirectory();
    EXPECT_FALSE(dropOnLocalList(w, {}, "/etc/passwd"));
    EXPECT_FALSE(dropOnLocalList(w, {QUrl("https://example.com/a.txt")}));
    EXPECT_FALSE(dropOnLocalList(w, {fileUrl(f.file("keep.txt")), QUrl("ftp://host/x")}));
    EXPECT_EQ(w.本地目录框.text(), f.path());
    EXPECT_EQ(h.readSetting("本地目录"), "");
    EXPECT_EQ(w.本地目录框.itemCount(), 0);
}

TEST(DropOnLocalList, AnItemRightUnderTheRootListsTheRoot) {
    MainWindowHarness h;
    h.open();
    dropOnLocalList({"/tmp"});
    EXPECT_EQ(h.controls().本地目录框.text(), "/");
    EXPECT_EQ(selectedNames(h.controls().上传文件框), (std::vector<std::string>{"tmp"}));
    dropOnLocalList({"/"});
    EXPECT_EQ(h.controls().本地目录框.text(), "/");
    EXPECT_TRUE(h.controls().上传文件框.selectedItems().empty());
}
