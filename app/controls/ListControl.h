#pragma once
// The report-view file lists. Every operation may be called from any thread;
// it runs on the UI thread. Indexes are 0-based; -1 means nothing.
#include "app/controls/ImageList.h"
#include "app/controls/ListModel.h"
#include "app/controls/WidgetControl.h"

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QTreeView>

#include <string>
#include <vector>

namespace ui {

class ListControl : public WidgetControl {
public:
    // The view must show a ListModel (forms::setUpReportList gives it one).
    void attach(QTreeView* widget);
    QTreeView* widget() const { return widget_.data(); }

    // position < 0 appends. Returns the new item's index, -1 on failure.
    int insertItem(int position = -1, const std::string& text = std::string(), int image = -1,
                   long long value = 0);
    // Appends many rows in one call on the UI thread, moving them in: a
    // million rows take some tens of milliseconds there. False when there
    // was no memory for them; the list is then as it was.
    bool appendRows(std::vector<ListRow>&& rows);
    bool appendRows(const std::vector<ListRow>& rows);
    // The same for the rows whose name is not listed yet, ignoring case as
    // findItem does (also among the rows themselves: the first one stays).
    void appendNewRows(const std::vector<ListRow>& rows);
    void setItemText(int index, int column, const std::string& text);
    std::string itemText(int index, int column = 0) const;
    long long itemValue(int index) const;
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
    bool appendRowsNow(std::vector<ListRow>& rows, bool onlyNewNames);
    void keepUnlistedNames(std::vector<ListRow>& rows);
    ListModel* model() const;
    int widestCell(int column) const;
    int textWidth(const std::string& text) const;
    int charWidth(char32_t code) const;
    int cellWidth(const ListRow& row, int column) const;
    void noteCellWidth(const ListRow& row, int column);
    void addName(const std::string& text);
    void removeName(const std::string& text);
    void indexNames() const;
    bool nameMayBeListed(const QString& text) const;

    QPointer<QTreeView> widget_;
    QPointer<ListModel> model_;
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
    // for a name that is not listed costs no scan. Built at the first
    // search: a long listing is often never searched.
    mutable QHash<QString, int> names_;
    mutable int namesIndexed_ = 0;
};

} // namespace ui
