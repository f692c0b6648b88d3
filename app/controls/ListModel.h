#pragma once
// The rows of a report-view file list, kept as compact as a plain struct
// allows: a remote folder may hold a million entries, and a widget item
// per row cost about 450 bytes where a row here costs about 150 (its
// texts stay UTF-8 and are turned into display text only when drawn).
// UI thread only; ListControl is the interface the handlers use.
#include <QAbstractItemModel>
#include <QIcon>
#include <QString>

#include <string>
#include <vector>

namespace ui {

// One row: the name, the column-1 text, the image index, the item value,
// when the name had to be escaped for display the exact bytes it stands
// for, and the exact size in bytes behind the column-1 text (-1: none).
struct ListRow {
    std::string text;
    std::string text1;
    int image = -1;
    long long value = 0;
    std::string rawText;
    long long size = -1;
};

class ListModel : public QAbstractItemModel {
    Q_OBJECT

public:
    static constexpr int kColumns = 2;

    ListModel(const QString& header0, const QString& header1, QObject* parent);

    int count() const { return static_cast<int>(rows_.size()); }
    const ListRow& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
    // Changes a row in place; the view is told to redraw that cell.
    void setText(int index, int column, std::string text);
    void setImage(int index, int image);
    void setRawText(int index, std::string bytes);

    void insert(int position, ListRow row);
    // Moves the rows in at the end. The storage for them is taken before
    // the view hears of any, so a failed allocation leaves the list as it
    // was (and throws std::bad_alloc).
    void append(std::vector<ListRow>&& rows);
    void remove(int index);
    // Empties the list and hands its rows over (the caller frees them).
    std::vector<ListRow> takeAll();

    // The pictures shown for the image indexes.
    void setIcons(std::vector<QIcon> icons);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void changed(int index, int column);
    // Grows the storage geometrically: rows added one at a time into a long
    // list must not copy it every time.
    void makeRoom(std::size_t more);

    std::vector<ListRow> rows_;
    std::vector<QIcon> icons_;
    QString headers_[kColumns];
};

} // namespace ui
