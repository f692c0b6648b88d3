#pragma once
// One row of a file list. The two texts, the picture index, the row's value
// and its raw name live in plain members instead of QTreeWidgetItem's
// per-role variant storage: filling a list of 10,000 rows through that
// storage cost more than fetching the listing. Every other role still goes
// to QTreeWidgetItem.
#include <QByteArray>
#include <QIcon>
#include <QString>
#include <QTreeWidgetItem>

namespace ui {

// Roles beyond Qt's own under which a row answers for its extra members.
constexpr int kValueRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kRawTextRole = Qt::UserRole + 2;
constexpr int kSizeRole = Qt::UserRole + 3;

class ListItem : public QTreeWidgetItem {
public:
    ListItem(const QString& text0, const QString& text1, long long value)
        : QTreeWidgetItem(UserType), texts_{text0, text1}, value_(value) {
        // Rows of a flat list: the view need not ask each one for children
        // whenever it lays the list out.
        setFlags(flags() | Qt::ItemNeverHasChildren);
    }

    // The picture index with its icon; does not notify the view (rows that
    // are not in a list yet, or a repaint that follows anyway).
    void setImage(int image, const QIcon& icon) {
        image_ = image;
        icon_ = icon;
    }

    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant& value) override;

private:
    static constexpr int kTextColumns = 2;

    QString texts_[kTextColumns];
    QIcon icon_;
    QByteArray raw_;
    long long value_ = 0;
    long long size_ = -1;
    int image_ = -1;
};

} // namespace ui
