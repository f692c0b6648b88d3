#include "app/controls/ComboControl.h"
#include "app/controls/Dialogs.h"
#include "app/controls/ListControl.h"
#include "app/controls/StatusBarControl.h"
#include "app/state/LogBatch.h"
#include "tests/support/GuiHarness.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace testsupport;

TEST(ListControl, InsertFindSelectAndDeleteFollowTheListRules) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().远程文件框;
    EXPECT_EQ(list.insertItem(-1, "Beta.txt"), 0);
    EXPECT_EQ(list.insertItem(-1, "gamma"), 1);
    EXPECT_EQ(list.insertItem(0, "ALPHA"), 0);  // position 0 becomes first
    EXPECT_EQ(list.insertItem(99, "delta"), 3); // beyond the end appends
    EXPECT_EQ(list.itemText(0), "ALPHA");
    EXPECT_EQ(list.itemText(1), "Beta.txt");

    EXPECT_EQ(list.findItem("beta.TXT"), 1);       // case never matters
    EXPECT_EQ(list.findItem("beta"), -1);          // exact by default
    EXPECT_EQ(list.findItem("beta", 0, false), 1); // prefix match
    EXPECT_EQ(list.findItem("alpha", 1), -1);      // no wrap-around
    EXPECT_EQ(list.findItem("x", -5), -1);

    EXPECT_TRUE(list.selectedItems().empty());
    EXPECT_EQ(list.currentSelection(), -1);
    list.selectItem(2);
    list.selectItem(0);                            // keeps item 2 selected
    list.selectItem(-1);                           // does nothing
    EXPECT_EQ(list.selectedItems(), (std::vector<int>{0, 2}));
    EXPECT_EQ(list.currentSelection(), 0);

    list.setItemText(1, 1, "12.5");
    EXPECT_EQ(list.itemText(1, 1), "12.5");
    // Out-of-range indexes: empty text, nothing changed.
    EXPECT_EQ(list.itemText(17), "");
    list.setItemText(17, 0, "x");
    list.deleteItem(17);
    list.deleteItem(-1);
    EXPECT_EQ(list.itemCount(), 4);
    list.deleteItem(1);
    EXPECT_EQ(list.itemText(1), "gamma");
    list.deleteAllItems();
    EXPECT_EQ(list.itemCount(), 0);
}

TEST(ListControl, ColumnSizingFitsCellsOrHeader) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().上传文件框;
    list.insertItem(-1, "a");
    list.setColumnWidth(0, -1);
    const int narrow = list.columnWidth(0);
    list.insertItem(-1, "a much longer file name than the first one.txt");
    list.setColumnWidth(0, -1);
    const int wide = list.columnWidth(0);
    EXPECT_GT(wide, narrow);
    list.deleteItem(1);
    list.setColumnWidth(0, -1);
    EXPECT_EQ(list.columnWidth(0), narrow);
    list.setColumnWidth(0, -7);  // below -2 counts as -2: header wins over "a"
    EXPECT_GT(list.columnWidth(0), narrow);
    list.setColumnWidth(1, 80);
    EXPECT_EQ(list.columnWidth(1), 80);
}

TEST(StatusBarControl, PanesOutsideTheBarAreIgnored) {
    MainWindowHarness h;
    h.open();
    ui::StatusBarControl& bar = h.controls().状态条1;
    EXPECT_EQ(bar.paneCount(), 3);
    bar.setPaneText(0, "连接服务器成功");
    bar.setPaneText(3, "nowhere");
    bar.setPaneText(-1, "nowhere");
    EXPECT_EQ(bar.paneText(0), "连接服务器成功");
    EXPECT_EQ(bar.paneText(3), "");
    bar.setPaneText(0);
    EXPECT_EQ(bar.paneText(0), "");
}

TEST(ComboControl, SelectionAndEditTextAreSeparate) {
    MainWindowHarness h;
    h.open();
    ui::ComboControl& combo = h.controls().本地目录框;
    combo.setText("/typed");
    EXPECT_EQ(combo.addItem("/one"), 0);
    EXPECT_EQ(combo.addItem("/two"), 1);
    EXPECT_EQ(combo.text(), "/typed");        // adding shows nothing new
    EXPECT_EQ(combo.currentSelection(), -1);
    combo.setCurrentSelection(1);
    EXPECT_EQ(combo.text(), "/two");
    EXPECT_EQ(combo.currentSelection(), 1);
    combo.setText("/other");                  // no entry gets selected
    EXPECT_EQ(combo.itemText(1), "/two");
    combo.setCurrentSelection(5);
    EXPECT_EQ(combo.currentSelection(), -1);
    EXPECT_EQ(combo.text(), "/other");
}

TEST(UiThread, WorkerCallsRunSynchronouslyOnTheUiThread) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().上传文件框;
    std::atomic<bool> done{false};
    std::vector<int> countsSeen;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            list.insertItem(-1, "item " + std::to_string(i));
            countsSeen.push_back(list.itemCount());  // the insert has happened
        }
        h.controls().状态条1.setPaneText(2, "worker done");
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 10000));
    worker.join();
    ASSERT_EQ(countsSeen.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(countsSeen[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(list.itemText(199), "item 199");
    EXPECT_EQ(h.controls().状态条1.paneText(2), "worker done");
}

TEST(UiThread, LongRowListFromAWorkerArrivesWholeAndInOrder) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().远程文件框;
    list.insertItem(-1, "already here");
    std::vector<ui::ListRow> rows;
    for (int i = 0; i < 6345; ++i)
        rows.push_back({"row-" + std::to_string(i) + ".txt", std::to_string(i), 5, i, {}});
    rows.back().text = "Widest Row Name Of All.txt";
    std::atomic<bool> done{false};
    int countAfter = 0;
    std::thread worker([&] {
        list.appendRows(rows);
        countAfter = list.itemCount();
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(countAfter, 6346);
    for (int i : {0, 2499, 2500, 2501, 5000, 6343}) {
        EXPECT_EQ(list.itemText(i + 1), "row-" + std::to_string(i) + ".txt");
        EXPECT_EQ(list.itemText(i + 1, 1), std::to_string(i));
        EXPECT_EQ(list.itemValue(i + 1), i);
    }
    // The name index and the column width cover every row.
    EXPECT_EQ(list.findItem("ROW-4500.TXT"), 4501);
    EXPECT_EQ(list.findItem("widest row name of all.txt"), 6345);
    list.setColumnWidth(0, -1);
    const int withWidest = list.columnWidth(0);
    list.deleteItem(6345);
    list.setColumnWidth(0, -1);
    EXPECT_LT(list.columnWidth(0), withWidest);
}

TEST(UiThread, NewRowsSkipListedNamesAndKeepRawBytes) {
    MainWindowHarness h;
    h.open();
    ui::ListControl& list = h.controls().上传文件框;
    list.insertItem(-1, "Already Here");
    std::vector<ui::ListRow> rows;
    for (int i = 0; i < 6000; ++i)
        rows.push_back({"n" + std::to_string(i), "", 5, 0, {}});
    rows[10] = {"ALREADY HERE", "", 5, 0, {}};   // listed before
    rows[5500] = {"N3", "", 5, 0, {}};           // added by an earlier row
    rows[5501] = {"bad\\xFF", "", 5, 0, "bad\xff"}; // shown escaped, bytes kept
    std::atomic<bool> done{false};
    std::thread worker([&] {
        list.appendNewRows(rows);
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(list.itemCount(), 1 + 6000 - 2);
    EXPECT_EQ(list.findItem("n3"), 4);
    EXPECT_EQ(list.findItem("n5499"), 5499);
    const int bad = list.findItem("bad\\xFF");
    ASSERT_EQ(bad, 5500);
    EXPECT_EQ(list.itemRawText(bad), "bad\xff");
    EXPECT_EQ(list.itemRawText(bad + 1), "n5502");
}

// Lines appended in quick succession reach the widget together, but every
// read sees all of them, and the widget catches up without any read.
TEST(LogControl, QuickAppendsAreReadBackAtOnceAndReachTheWidget) {
    MainWindowHarness h;
    h.open();
    ui::LogControl& log = h.controls().消息框;
    log.setText("");
    std::string expected;
    std::atomic<bool> done{false};
    bool everyReadComplete = true;
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i) {
            const std::string line = "删除“/pub/f" + std::to_string(i) + "”文件成功\n";
            log.appendText(line);
            expected += line;
            if (i % 50 == 49 && log.text() != expected)
                everyReadComplete = false;
        }
        log.appendText("dropped\n");
        log.setText("replaced\n");     // what waited is replaced too
        log.appendText("last\n");
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(everyReadComplete);
    QPlainTextEdit* widget = log.widget();
    EXPECT_TRUE(waitUntil([&] { return widget->toPlainText() == "replaced\nlast\n"; }, 2000))
        << widget->toPlainText().toStdString();
    EXPECT_EQ(log.text(), "replaced\nlast\n");
}

TEST(LogBatch, LinesArriveInOrderAndAFirstOrLateLineAtOnce) {
    MainWindowHarness h;
    h.open();
    ui::LogControl& log = h.controls().消息框;
    log.setText("");
    std::atomic<bool> done{false};
    std::string afterFirst, afterLate, expected;
    std::thread worker([&] {
        {
            LogBatch batch;
            batch.add("first");
            afterFirst = log.text();
            for (int i = 0; i < 200; ++i)
                batch.add("line " + std::to_string(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            batch.add("late");
            afterLate = log.text();
            batch.add("at the end");
        }
        expected = "first\n";
        for (int i = 0; i < 200; ++i)
            expected += "line " + std::to_string(i) + "\n";
        expected += "late\nat the end\n";
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(afterFirst, "first\n");
    EXPECT_EQ(afterLate.substr(afterLate.size() - 5), "late\n");
    EXPECT_EQ(log.text(), expected);
}

TEST(Dialogs, MessageBoxFromAWorkerReturnsThePressedButton) {
    MainWindowHarness h;
    h.open();
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::No);
    answers.queueButton(QMessageBox::Yes);
    std::atomic<int> first{-1}, second{-1};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        first = ui::messageBox("确定删除选中文件吗？", ui::kMbYesNo | ui::kMbIconQuestion, "询问：");
        second = ui::messageBox("again", ui::kMbYesNo);
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(first, ui::kIdNo);
    EXPECT_EQ(second, ui::kIdYes);
    EXPECT_EQ(answers.titles()[0], "询问：");
    EXPECT_EQ(answers.texts()[0], "确定删除选中文件吗？");
    // Without a title the default one is used.
    answers.queueButton(QMessageBox::Ok);
    EXPECT_EQ(ui::messageBox("请选择要下载的文件"), ui::kIdOk);
    EXPECT_EQ(answers.titles().back(), "信息：");
}

// A worker's question that reached the UI thread's queue just before the
// window began to close is answered at once, not shown: the close waits
// for the workers and nobody would answer the box.
TEST(Dialogs, AQuestionQueuedBeforeTheCloseIsNotShown) {
    MainWindowHarness h;
    h.open();
    DialogAnswerer answers;
    answers.queueButton(QMessageBox::Yes); // only if a box wrongly shows
    std::atomic<int> result{-1};
    std::thread worker([&] { result = ui::messageBox("确定删除选中文件吗？", ui::kMbYesNo); });
    // The call waits in the queue: this thread runs no events meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ui::suppressDialogs(true);
    ASSERT_TRUE(waitUntil([&] { return result.load() != -1; }, 5000));
    worker.join();
    ui::suppressDialogs(false);
    EXPECT_EQ(result.load(), ui::kIdNo);
    EXPECT_EQ(answers.seen(), 0);
}

TEST(Dialogs, InputBoxAndFolderDialogReturnWhatWasChosen) {
    MainWindowHarness h;
    h.open();
    h.folder().makeFolder("chosen/");
    DialogAnswerer answers;
    answers.queueInput("c.txt");
    ui::InputResult r = ui::inputBox("请输入新文件名", "b.txt");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, "c.txt");
    EXPECT_EQ(answers.texts().back(), "请输入新文件名");
    answers.queueCancel();
    EXPECT_FALSE(ui::inputBox("请输入目录名").ok);
    answers.queueFolder(h.folder().file("chosen"));
    EXPECT_EQ(ui::folderDialog("选择本地目录"), h.folder().file("chosen"));
    answers.queueCancel();
    EXPECT_EQ(ui::folderDialog("选择本地目录"), "");
}
