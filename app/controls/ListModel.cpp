#include "app/controls/ListModel.h"

#include <algorithm>
#include <iterator>

namespace ui {

ListModel::ListModel(const QString& header0, const QString& header1, QObject* parent)
    : QAbstractItemModel(parent), headers_{header0, header1} {}

void ListModel::setText(int index, int column, std::string text) {
    ListRow& r = rows_[static_cast<std::size_t>(index)];
    (column == 0 ? r.text : r.text1) = std::move(text);
    changed(index, column);
}

void ListModel::setImage(int index, int image) {
    rows_[static_cast<std::size_t>(index)].image = image;
    changed(index, 0);
}

void ListModel::setRawText(int index, std::string bytes) {
    rows_[static_cast<std::size_t>(index)].rawText = std::move(bytes);
}

void ListModel::makeRoom(std::size_t more) {
    if (rows_.size() + more > rows_.capacity())
        rows_.reserve(std::max(rows_.size() + more, rows_.capacity() * 2));
}

void ListModel::insert(int position, ListRow row) {
    makeRoom(1);
    beginInsertRows(QModelIndex(), position, position);
    rows_.insert(rows_.begin() + position, std::move(row));
    endInsertRows();
}

void ListModel::append(std::vector<ListRow>&& rows) {
    if (rows.empty())
        return;
    const int first = count();
    if (rows_.empty()) {
        beginInsertRows(QModelIndex(), 0, static_cast<int>(rows.size()) - 1);
        rows_.swap(rows);
    } else {
        makeRoom(rows.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
        std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
    }
    endInsertRows();
}

void ListModel::remove(int index) {
    beginRemoveRows(QModelIndex(), index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
}

std::vector<ListRow> ListModel::takeAll() {
    std::vector<ListRow> taken;
    beginResetModel();
    taken.swap(rows_);
    endResetModel();
    return taken;
}

void ListModel::setIcons(std::vector<QIcon> icons) {
    icons_ = std::move(icons);
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(count() - 1, 0), {Qt::DecorationRole});
}

void ListModel::changed(int index, int column) {
    const QModelIndex cell = this->index(index, column);
    emit dataChanged(cell, cell);
}

QModelIndex ListModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= count() || column < 0 || column >= kColumns)
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex ListModel::parent(const QModelIndex&) const {
    return QModelIndex();
}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int ListModel::columnCount(const QModelIndex&) const {
    return kColumns;
}

bool ListModel::hasChildren(const QModelIndex& parent) const {
    return !parent.isValid() && !rows_.empty();
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Rows of a flat list: the view need not ask each one for children
    // whenever it lays the list out.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    const ListRow& r = row(index.row());
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return QString::fromStdString(index.column() == 0 ? r.text : r.text1);
    if (role == Qt::DecorationRole && index.column() == 0 && r.image >= 0 &&
        r.image < static_cast<int>(icons_.size()))
        return icons_[static_cast<std::size_t>(r.image)];
    return QVariant();
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return headers_[section];
    return QVariant();
}

} // namespace ui
