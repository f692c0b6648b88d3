#include "app/controls/ListItem.h"

namespace ui {

QVariant ListItem::data(int column, int role) const {
    const bool textColumn = column >= 0 && column < kTextColumns;
    if (textColumn && (role == Qt::DisplayRole || role == Qt::EditRole))
        return texts_[column];
    if (column == 0) {
        switch (role) {
        case Qt::DecorationRole:
            return icon_.isNull() ? QVariant() : QVariant(icon_);
        case kValueRole:
            return value_;
        case kImageRole:
            return image_;
        case kSizeRole:
            return size_;
        case kRawTextRole:
            return raw_.isNull() ? QVariant() : QVariant(raw_);
        default:
            break;
        }
    }
    return QTreeWidgetItem::data(column, role);
}

void ListItem::setData(int column, int role, const QVariant& value) {
    const bool textColumn = column >= 0 && column < kTextColumns;
    if (textColumn && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        texts_[column] = value.toString();
    } else if (column == 0 && role == Qt::DecorationRole) {
        icon_ = value.value<QIcon>();
    } else if (column == 0 && role == kValueRole) {
        value_ = value.toLongLong();
    } else if (column == 0 && role == kImageRole) {
        image_ = value.toInt();
    } else if (column == 0 && role == kSizeRole) {
        size_ = value.toLongLong();
    } else if (column == 0 && role == kRawTextRole) {
        raw_ = value.toByteArray();
    } else {
        QTreeWidgetItem::setData(column, role, value);
        return;
    }
    emitDataChanged();
}

} // namespace ui
