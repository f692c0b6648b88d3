#include "local/LocalBrowser.h"
#include "local/ExtensionGrouping.h"
#include "local/LocalHistory.h"
#include "local/LocalList.h"
#include "local/ParentFolder.h"
#include "tests/local/LocalTestSupport.h"
#include "tests/support/GuiHarness.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include "app/controls/ListModel.h"

#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <map>

#include <unistd.h>

using namespace testsupport;
using namespace localtest;

namespace {

// Files of one extension sit together, and the groups come in the order of
// their first file in the search.
void expectGroupedInSearchOrder(const std::vector<std::string>& shown, const std::vector<std::string>& searched) {
    ASSERT_EQ(std::multiset<std::string>(shown.begin(), shown.end()),
              std::multiset<std::string>(searched.begin(), searched.end()));
    std::vector<std::string> groupOrder;
    for (const std::string& name : searched)
        if (std::find(groupOrder.begin(), groupOrder.end(), groupingExtension(name)) == groupOrder.end())
            groupOrder.push_back(groupingExtension(name));
    std::vector<std::string> shownOrder;
    for (const std::string& name : shown)
        if (shownOrder.empty() || shownOrder.back() != groupingExtension(name))
            shownOrder.push_back(groupingExtension(name));
    EXPECT_EQ(shownOrder, groupOrder);
}

void showFolder(MainWindowHarness& h, const std::string& folder) {
    h.controls().本地目录框.setText(folder);
    listLocalDirectory();
}

} // namespace

TEST(ExtensionGrouping, GroupsByFirstAppearanceWithTheSwapOrder) {
    std::vector<std::string> names = {"a.txt", "b.doc", "c.ini", "d.doc"};
    groupByExtension(names);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.doc", "d.doc", "c.ini"}));
    names = {"x.txt", "y.ini", "z.txt"};
    groupByExtension(names);
    EXPECT_EQ(names, (std::vector<std::string>{"x.txt", "z.txt", "y.ini"}));
    // Swapping moves c.ini behind a.txt: not a stable grouping.
    names = {"b.doc", "c.ini", "a.txt", "d.doc"};
    groupByExtension(names);
    EXPECT_EQ(names, (std::vector<std::string>{"b.doc", "d.doc", "a.txt", "c.ini"}));
}

TEST(ExtensionGrouping, NamesWithoutDotAndCaseOfAnyScript) {
    std::vector<std::string> names = {"README", "x.TXT", "Makefile", "y.txt", "報告.ДОК", "z.док"};
    groupByExtension(names);
    EXPECT_EQ(names, (std::vector<std::string>{"README", "Makefile", "x.TXT", "y.txt", "報告.ДОК", "z.док"}));
    EXPECT_EQ(groupingExtension("README"), "无");
    std::vector<std::string> few = {"only.one"};
    groupByExtension(few);
    std::vector<std::string> none;
    groupByExtension(none);
    EXPECT_EQ(few.size(), 1u);
}

TEST(ParentFolder, OneLevelUpOnSlashPaths) {
    EXPECT_EQ(parentFolderText("/home/u/src"), "/home/u");
    EXPECT_EQ(parentFolderText("/home"), "/");
    EXPECT_EQ(parentFolderText("/home/u/"), "/home/u");
    EXPECT_EQ(parentFolderText("/home/"), "/home");
    EXPECT_EQ(parentFolderText("/"), "");
    EXPECT_EQ(parentFolderText(""), "");
    EXPECT_EQ(parentFolderText("plain"), "");
    EXPECT_EQ(parentFolderText("/a b/中文/x\ny"), "/a b/中文");
}

TEST(LocalBrowser, FoldersFirstInReverseSearchOrderThenFilesGrouped) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    for (const char* d : {"K", "L", "M"})
        f.makeFolder(d);
    for (const char* n : {"x.txt", "y.ini", "z.txt", "a.txt", "b.doc", "c.ini", "d.doc", ".gitignore"})
        f.write(n, "1");
    f.makeFolder(".hidden");
    showFolder(h, f.path());
    std::vector<std::string> shown = rowNames(h.controls().上传文件框);
    std::vector<std::string> folders = searchOrder(f.path(), true);
    ASSERT_EQ(shown.size(), 10u);
    std::reverse(folders.begin(), folders.end());
    EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + 3), folders);
    expectGroupedInSearchOrder(std::vector<std::string>(shown.begin() + 3, shown.end()), searchOrder(f.path(), false));
    ui::ListControl& list = h.controls().上传文件框;
    EXPECT_EQ(list.itemImage(0), 0);
    EXPECT_EQ(list.itemText(0, 1), "");
    for (int i = 3; i < 10; ++i) {
        if (shown[i].ends_with(".txt")) {
            EXPECT_EQ(list.itemImage(i), 7);
        }
        if (shown[i].ends_with(".ini")) {
            EXPECT_EQ(list.itemImage(i), 6);
        }
        EXPECT_EQ(list.itemText(i, 1), "0");
    }
}

TEST(LocalBrowser, RealTypesDecideAndDotlessFilesGroupTogether) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.write("README", "r");
    f.write("Makefile", "m");
    f.write("notes.txt", "n");
    f.makeFolder("v1.0");
    showFolder(h, f.path());
    ui::ListControl& list = h.controls().上传文件框;
    std::vector<std::string> shown = rowNames(list);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "v1.0");
    EXPECT_EQ(list.itemImage(0), 0);
    for (int i = 1; i < 4; ++i) {
        EXPECT_NE(list.itemText(i, 1), "") << shown[i];  // every file has a size
        if (shown[i] != "notes.txt") {
            EXPECT_EQ(list.itemImage(i), 5) << shown[i];
        }
    }
    // README and Makefile share the extension 无 and stay together.
    expectGroupedInSearchOrder(std::vector<std::string>(shown.begin() + 1, shown.end()),
                               searchOrder(f.path(), false));
}

TEST(LocalBrowser, SizesInWholeKilobytesCutTowardZero) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.write("small.bin", std::string(1023, 'a'));
    f.write("half.bin", std::string(1536, 'a'));
    f.write("empty.bin", "");
    showFolder(h, f.path());
    ui::ListControl& list = h.controls().上传文件框;
    std::map<std::string, std::string> sizes;
    for (int i = 0; i < list.itemCount(); ++i)
        sizes[list.itemText(i)] = list.itemText(i, 1);
    EXPECT_EQ(sizes["small.bin"], "0");
    EXPECT_EQ(sizes["half.bin"], "1");
    EXPECT_EQ(sizes["empty.bin"], "0");
    // A vanished file adds a row with size 0; a listed name is not added twice.
    addLocalEntry("gone.bin", f.file("gone.bin"));
    addLocalEntry("HALF.BIN", f.file("half.bin"));
    EXPECT_EQ(list.itemCount(), 4);
    EXPECT_EQ(list.itemText(3, 1), "0");
}

// Names that differ only in letter case are one name to the list: of such
// files the first added is listed, a file named like a listed folder is not.
TEST(LocalBrowser, NamesDifferingOnlyInCaseAreListedOnce) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.makeFolder("docs");
    f.write("DOCS", "file beside the folder");
    f.write("a.txt", "lower");
    f.write("A.TXT", "upper");
    f.write("Ünïcode.txt", "1");
    f.write("üNÏCODE.TXT", "2");
    f.write("other.txt", "o");
    showFolder(h, f.path());
    std::vector<std::string> shown = rowNames(h.controls().上传文件框);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "docs");
    std::vector<std::string> added = searchOrder(f.path(), false);
    groupByExtension(added); // the order files are added in
    auto firstOf = [&](const std::string& x, const std::string& y) {
        for (const std::string& name : added)
            if (name == x || name == y)
                return name;
        return std::string();
    };
    std::vector<std::string> expected = {firstOf("a.txt", "A.TXT"), firstOf("Ünïcode.txt", "üNÏCODE.TXT"),
                                         "other.txt"};
    std::vector<std::string> files(shown.begin() + 1, shown.end());
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
}

TEST(LocalEntryBatch, FilesJoinTheListInOrderOnceEachAndTheFirstAtOnce) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    showFolder(h, f.path());
    for (int i = 0; i < 300; ++i)
        f.write("f" + std::to_string(i) + ".dat", std::string(2048, 'x'));
    ui::ListControl& list = h.controls().上传文件框;
    std::atomic<bool> done{false};
    int afterFirst = -1;
    std::thread worker([&] {
        LocalEntryBatch batch;
        batch.add("f0.dat", f.file("f0.dat"));
        afterFirst = list.itemCount();
        for (int i = 1; i < 300; ++i)
            batch.add("f" + std::to_string(i) + ".dat", f.file("f" + std::to_string(i) + ".dat"));
        batch.add("F7.DAT", f.file("f7.dat")); // listed already
        batch.flush();
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(afterFirst, 1);
    ASSERT_EQ(list.itemCount(), 300);
    for (int i : {0, 1, 150, 299}) {
        EXPECT_EQ(list.itemText(i), "f" + std::to_string(i) + ".dat");
        EXPECT_EQ(list.itemText(i, 1), "2");
    }
}

TEST(LocalBrowser, MissingOrUnreadableFoldersGiveAnEmptyListSilently) {
    MainWindowHarness h;
    h.open();
    DialogAnswerer answers;
    TempFolder f;
    f.write("a.txt", "x");
    showFolder(h, f.path());
    ASSERT_EQ(h.controls().上传文件框.itemCount(), 1);
    showFolder(h, f.file("nowhere"));
    EXPECT_EQ(h.controls().上传文件框.itemCount(), 0);
    showFolder(h, std::string("/\x01\xff*?<>|\n", 10));
    EXPECT_EQ(h.controls().上传文件框.itemCount(), 0);
    // Symlink loops and dangling links are listed as files, not followed.
    ASSERT_EQ(::symlink("loop.lnk", f.file("loop.lnk").c_str()), 0);
    ASSERT_EQ(::symlink(f.file("nothing").c_str(), f.file("dangling").c_str()), 0);
    ASSERT_EQ(::symlink(".", f.file("self").c_str()), 0);
    showFolder(h, f.path());
    std::vector<std::string> shown = rowNames(h.controls().上传文件框);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "self");
    EXPECT_EQ(answers.seen(), 0);
}

TEST(LocalBrowser, NamesThatAreNotUtf8KeepTheirBytes) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.write("bad\xff.txt", "12");
    f.write("bad\xfe.txt", "34");
    f.makeFolder("dir\xfe");
    f.write("dir\xfe/inner.txt", "x");
    showFolder(h, f.path());
    ui::ListControl& list = h.controls().上传文件框;
    ASSERT_EQ(list.itemCount(), 3);
    EXPECT_EQ(list.itemText(0), "dir\\xFE");
    std::vector<std::string> paths = {localItemPath(1), localItemPath(2)};
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths[0], f.file("bad\xfe.txt"));
    EXPECT_EQ(paths[1], f.file("bad\xff.txt"));
    // Entering the folder lists it through its real bytes.
    list.selectItem(0);
    openLocalItem();
    EXPECT_EQ(h.controls().本地目录框.text(), f.path() + "/dir\\xFE");
    EXPECT_EQ(rowNames(list), (std::vector<std::string>{"inner.txt"}));
    EXPECT_EQ(localItemPath(0), f.file("dir\xfe/inner.txt"));
    goUpLocal();
    EXPECT_EQ(h.controls().本地目录框.text(), f.path());
    EXPECT_EQ(list.itemCount(), 3);
}

TEST(LocalBrowser, DoubleClickEntersAFolderWithoutSavingHistory) {
    MainWindowHarness h;
    h.open();
    TempFolder f;
    f.makeFolder("sub");
    f.write("sub/inside.txt", "x");
    showFolder(h, f.path() + "/");
    QTreeView* tree = h.controls().上传文件框.widget();
    ASSERT_EQ(tree->model()->rowCount(), 1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, listRowCentre(tree, 0));
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, listRowCentre(tree, 0));
    EXPECT_EQ(h.controls().本地目录框.text(), f.path() + "/sub");
    EXPECT_EQ(rowNames(h.controls().上传文件框), (std::vector<std::string>{"inside.txt"}));
    EXPECT_EQ(h.readSetting("本地目录"), "");
    openLocalItem();  // nothing selected: nothing happens
    EXPECT_EQ(h.controls().本地目录框.text(), f.path() + "/sub");
}

TEST(LocalBrowser, GoingUpListsTheParentAndStopsAtTheRoot) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    TempFolder f;
    f.makeFolder("a/b");
    showFolder(h, f.file("a/b"));
    QTest::mouseClick(form.findChild<QPushButton*>("反退钮1"), Qt::LeftButton);
    EXPECT_EQ(h.controls().本地目录框.text(), f.file("a"));
    EXPECT_EQ(rowNames(h.controls().上传文件框), (std::vector<std::string>{"b"}));
    h.controls().本地目录框.setText(f.file("a") + "/");
    goUpLocal();
    EXPECT_EQ(h.controls().本地目录框.text(), f.file("a"));
    h.controls().本地目录框.setText("/");
    goUpLocal();
    EXPECT_EQ(h.controls().本地目录框.text(), "/");
    EXPECT_EQ(h.readSetting("本地目录"), "");
}

TEST(LocalHistory, FourteenItemsWithTheCurrentFolderFifth) {
    MainWindowHarness h;
    h.open();
    ui::ComboControl& box = h.controls().本地目录框;
    for (int i = 0; i < 14; ++i)
        box.addItem("/d" + std::to_string(i));
    box.setText("/d4");
    saveLocalHistory();
    EXPECT_EQ(h.readSetting("本地目录"), "/d4,/d0,/d1,/d2,/d3,/d5,/d6,/d7,/d8,/d9,/d10");
    EXPECT_EQ(box.itemCount(), 14);
    // A folder equal only to an item beyond the eleventh is added again.
    box.setText("/d12");
    saveLocalHistory();
    EXPECT_EQ(h.readSetting("本地目录"), "/d12,/d0,/d1,/d2,/d3,/d4,/d5,/d6,/d7,/d8,/d9,/d10");
    EXPECT_EQ(box.itemCount(), 15);
    EXPECT_EQ(box.itemText(14), "/d12");
}

TEST(LocalHistory, ChoosingTheFirstItemAgainListsItAndWritesItOnce) {
    MainWindowHarness h;
    TempFolder f;
    f.makeFolder("one");
    f.write("one/file.txt", "x");
    f.makeFolder("two");
    h.writeSetting("本地目录", f.file("two") + "," + f.file("one") + "," + f.file("two"));
    MainWindowForm& form = h.open();
    auto* combo = form.findChild<QComboBox*>("本地目录框");
    ASSERT_EQ(combo->count(), 3);
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_EQ(rowNames(h.controls().上传文件框), (std::vector<std::string>{"file.txt"}));
    EXPECT_EQ(h.readSetting("本地目录"), f.file("one") + "," + f.file("two") + "," + f.file("two"));
    EXPECT_EQ(combo->count(), 3);
}

TEST(LocalHistory, EnterListsTheTypedFolderWithoutSaving) {
    MainWindowHarness h;
    TempFolder f;
    f.makeFolder("typed");
    f.write("typed/t.txt", "x");
    h.writeSetting("本地目录", f.path());
    MainWindowForm& form = h.open();
    auto* combo = form.findChild<QComboBox*>("本地目录框");
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QString::fromStdString(f.file("typed")));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(rowNames(h.controls().上传文件框), (std::vector<std::string>{"t.txt"}));
    EXPECT_EQ(combo->currentText().toStdString(), f.file("typed"));
    EXPECT_EQ(combo->count(), 1);
    EXPECT_EQ(h.readSetting("本地目录"), f.path());
}

TEST(LocalHistory, BrowsingForAFolderListsAndRecordsIt) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    TempFolder f;
    f.makeFolder("picked");
    f.write("picked/p.txt", "x");
    DialogAnswerer answers;
    answers.queueFolder(f.file("picked"));
    QTest::mouseClick(form.findChild<QPushButton*>("浏览钮"), Qt::LeftButton);
    EXPECT_EQ(h.controls().本地目录框.text(), f.file("picked"));
    EXPECT_EQ(rowNames(h.controls().上传文件框), (std::vector<std::string>{"p.txt"}));
    EXPECT_EQ(h.readSetting("本地目录"), f.file("picked"));
    EXPECT_EQ(h.controls().本地目录框.itemCount(), 1);
    // Cancelled: nothing changes.
    answers.queueCancel();
    form.findChild<QAction*>("选择目录(&X)")->trigger();
    EXPECT_EQ(h.controls().本地目录框.text(), f.file("picked"));
    EXPECT_EQ(h.controls().本地目录框.itemCount(), 1);
}

TEST(LocalBrowser, RefreshShowsNewFilesAndRightClickOpensTheLocalMenu) {
    MainWindowHarness h;
    MainWindowForm& form = h.open();
    TempFolder f;
    showFolder(h, f.path());
    EXPECT_EQ(h.controls().上传文件框.itemCount(), 0);
    f.write("new.txt", "x");
    form.findChild<QAction*>("刷新(&X)")->trigger();
    EXPECT_EQ(rowNames(h.controls().上传文件框), (std::vector<std::string>{"new.txt"}));
    QTreeView* tree = h.controls().上传文件框.widget();
    emit tree->customContextMenuRequested(QPoint(5, 200));
    QMenu* menu = h.controls().menu("本地文件(&B)");
    EXPECT_TRUE(waitUntil([menu] { return menu->isVisible(); }, 2000));
    menu->close();
}

TEST(LocalBrowser, NameLookupFollowsRenamesDeletesAndRowsAddedBehindTheControl) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().上传文件框;
    list.insertItem(-1, "Alpha.txt");
    list.insertItem(-1, "beta.txt");
    list.insertItem(-1, "ÄRGER.TXT");
    EXPECT_EQ(list.findItem("ärger.txt"), 2);
    list.setItemText(1, 0, "gamma.txt");
    EXPECT_EQ(list.findItem("BETA.TXT"), -1);
    EXPECT_EQ(list.findItem("Gamma.TXT"), 1);
    list.deleteItem(0);
    EXPECT_EQ(list.findItem("alpha.txt"), -1);
    EXPECT_EQ(list.findItem("gamma.txt"), 0);
    qobject_cast<ui::ListModel*>(list.widget()->model())->insert(2, [] { ui::ListRow row; row.text = "direct.txt"; return row; }());
    EXPECT_EQ(list.findItem("DIRECT.txt"), 2);
    list.deleteAllItems();
    EXPECT_EQ(list.findItem("gamma.txt"), -1);
    list.insertItem(-1, "gamma.txt");
    EXPECT_EQ(list.findItem("GAMMA.txt"), 0);
}
