#pragma once
// The report-view file lists. Every operation may be called from any thread;
// it runs on the UI thread. Indexes are 0-based; -1 means nothing.
#include "app/controls/ImageList.h"
#include "app/controls/WidgetControl.h"

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace ui {

class ListItem;

// One row for appendRows: the name, the column-1 text, the image index, the
// item value, when the name had to be escaped for display the exact bytes
// it stands for (see setItemRawText), and the exact size in bytes behind
// the column-1 text (-1: none).
struct ListRow {
    std::string text;
    std::string text1;
    int image = -1;
    long long value = 0;
    std::string rawText;
    long long size = -1;
};

class ListControl : public WidgetControl {
public:
    void attach(QTreeWidget* widget);
    QTreeWidget* widget() const { return widget_.data(); }

    // position < 0 appends. Returns the new item's index, -1 on failure.
    int insertItem(int position = -1, const std::string& text = std::string(), int image = -1,
                   long long value = 0);
    // Appends many rows with few UI-thread calls (long listings from
    // workers): one call on the UI thread, a call per slice of rows from a
    // worker, so the UI keeps answering while a long listing goes in.
    void appendRows(const std::vector<ListRow>& rows);
    // The same for the rows whose name is not listed yet, ignoring case as
    // findItem does (also among the rows themselves: the first one stays).
    void appendNewRows(const std::vector<ListRow>& rows);
    void setItemText(int index, int column, const std::string& text);
    std::string itemText(int index, int column = 0) const;
    long long itemValue(int index) const;
    void setItemValue(int index, long long value);
    int itemImage(int index) const;
    void setItemImage(int index, int image);
    // The exact bytes a row stands for when its text cannot hold them (file
    // names that are not UTF-8). Without stored bytes the column-0 text.
    void setItemRawText(int index, const std::string& bytes);
    std::string itemRawText(int index) const;
    // The exact size in bytes the row stands for; -1 when none is known.
    long long itemSize(int index) const;
    std::vector<int> selectedItems() const;
    void selectItem(int index);
    int itemCount() const;
    void deleteItem(int index);
    void deleteAllItems();
    // First item at or after start whose text in the column equals text
    // (exact) or starts with it (!exact), ignoring case; -1 when none.
    int findItem(const std::string& text, int start = 0, bool exact = true, int column = 0) const;
    int columnWidth(int column) const;
    // -1 sizes to the widest cell, -2 to the larger of cell and header;
    // values below -2 count as -2.
    void setColumnWidth(int column, int width = -1);
    int currentSelection() const;
    void setFocus();

    ImageList iconList() const;
    void setIconList(const ImageList& list);
    // Appends one image to this list's icons without touching the rows;
    // returns its index, -1 for a null image.
    int appendIcon(const QImage& image);
    int iconCount() const;

private:
    void appendRows(const std::vector<ListRow>& rows, bool onlyNewNames);
    void appendRowsNow(const ListRow* first, const ListRow* last, bool onlyNewNames);
    int widestCell(int column) const;
    int textWidth(const QString& text) const;
    int supplementaryWidth(char32_t code) const;
    int cellWidth(const QTreeWidgetItem* item, int column) const;
    void noteCellWidth(const QTreeWidgetItem* item, int column);
    ListItem* newRow(const QString& text0, const QString& text1, int image, long long value) const;
    QIcon iconFor(int image) const;
    void applyIcon(QTreeWidgetItem* item, int image) const;
    void addName(const QString& text);
    void removeName(const QString& text);
    void indexNames() const;
    bool nameMayBeListed(const QString& text) const;

    QPointer<QTreeWidget> widget_;
    ImageList icons_;
    std::vector<QIcon> iconCache_;
    // Widest cell per column, kept up to date on inserts so that sizing a
    // column after each added row stays cheap on long lists.
    mutable std::vector<int> widest_;
    mutable bool widestStale_ = false;
    // Advances of the characters seen so far, in the list's font: a table
    // for the basic plane, a hash for the rest.
    mutable std::vector<int> bmpWidths_;
    mutable QHash<char32_t, int> otherWidths_;
    mutable QFont measuredFont_;
    // Case-folded column-0 texts with their counts, so that an exact search
    // for a name that is not listed costs no scan.
    mutable QHash<QString, int> names_;
    mutable int namesIndexed_ = 0;
};

} // namespace ui
