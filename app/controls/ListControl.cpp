#include "app/controls/ListControl.h"
#include "app/controls/ListItem.h"
#include "app/controls/UiThread.h"

#include <QHeaderView>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QPixmap>

#include <algorithm>

namespace ui {
namespace {

constexpr int kCellPadding = 14;
constexpr int kColumns = 2;
// Rows one UI-thread call of appendRows puts in when called from a worker.
constexpr std::size_t kRowsPerUiCall = 2500;
constexpr int kUnmeasured = -1;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The same per-character folding QString::compare uses without case.
QString folded(const QString& text) {
    QList<uint> points = text.toUcs4();
    for (uint& c : points)
        c = QChar::toCaseFolded(char32_t(c));
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()), points.size());
}

} // namespace

void ListControl::attach(QTreeWidget* widget) {
    widget_ = widget;
    attachWidget(widget);
    widest_.assign(kColumns, 0);
    widestStale_ = false;
    names_.clear();
    namesIndexed_ = 0;
}

int ListControl::insertItem(int position, const std::string& text, int image, long long value) {
    int result = -1;
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w)
            return;
        auto* item = newRow(qs(text), QString(), image, value);
        int count = w->topLevelItemCount();
        int at = (position < 0 || position > count) ? count : position;
        w->insertTopLevelItem(at, item);
        noteCellWidth(item, 0);
        if (namesIndexed_ == w->topLevelItemCount() - 1) {
            addName(item->text(0));
            ++namesIndexed_;
        }
        result = at;
    });
    return result;
}

void ListControl::appendRows(const std::vector<ListRow>& rows) {
    appendRows(rows, false);
}

void ListControl::appendNewRows(const std::vector<ListRow>& rows) {
    appendRows(rows, true);
}

void ListControl::appendRows(const std::vector<ListRow>& rows, bool onlyNewNames) {
    if (onUiThread()) {
        appendRowsNow(rows.data(), rows.data() + rows.size(), onlyNewNames);
        return;
    }
    // From a worker, a slice per UI-thread call: the UI thread gets to
    // process its events between slices instead of stalling for a whole
    // long listing.
    for (std::size_t start = 0; start < rows.size(); start += kRowsPerUiCall) {
        const std::size_t end = std::min(rows.size(), start + kRowsPerUiCall);
        runOnUiThread([&] { appendRowsNow(rows.data() + start, rows.data() + end, onlyNewNames); });
    }
}

void ListControl::appendRowsNow(const ListRow* first, const ListRow* last, bool onlyNewNames) {
    QTreeWidget* w = widget_;
    if (!w)
        return;
    if (onlyNewNames)
        indexNames();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(last - first));
    for (const ListRow* row = first; row != last; ++row) {
        const QString name = qs(row->text);
        if (onlyNewNames) {
            const QString key = folded(name);
            if (names_.contains(key))
                continue;
            names_.insert(key, 1);
            ++namesIndexed_; // in step again once the items are added
        }
        ListItem* item = newRow(name, qs(row->text1), row->image, row->value);
        if (!row->rawText.empty())
            item->setData(0, kRawTextRole, QByteArray::fromStdString(row->rawText));
        if (row->size >= 0)
            item->setData(0, kSizeRole, row->size);
        noteCellWidth(item, 0);
        noteCellWidth(item, 1);
        items.append(item);
    }
    // Otherwise the name index is left out of step: a long listing is often
    // never searched, and the first exact search rebuilds the index in one
    // pass.
    w->addTopLevelItems(items);
}

void ListControl::setItemText(int index, int column, const std::string& text) {
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w || column < 0 || column >= w->columnCount())
            return;
        QTreeWidgetItem* item = w->topLevelItem(index);
        if (!item)
            return;
        int before = cellWidth(item, column);
        if (column == 0 && namesIndexed_ == w->topLevelItemCount()) {
            removeName(item->text(0));
            addName(qs(text));
        }
        item->setText(column, qs(text));
        if (before >= widest_[column])
            widestStale_ = true;
        noteCellWidth(item, column);
    });
}

std::string ListControl::itemText(int index, int column) const {
    std::string result;
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w || column < 0 || column >= w->columnCount())
            return;
        if (QTreeWidgetItem* item = w->topLevelItem(index))
            result = item->text(column).toStdString();
    });
    return result;
}

long long ListControl::itemValue(int index) const {
    long long result = 0;
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            if (QTreeWidgetItem* item = w->topLevelItem(index))
                result = item->data(0, kValueRole).toLongLong();
    });
    return result;
}

void ListControl::setItemValue(int index, long long value) {
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            if (QTreeWidgetItem* item = w->topLevelItem(index))
                item->setData(0, kValueRole, value);
    });
}

long long ListControl::itemSize(int index) const {
    long long result = -1;
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            if (QTreeWidgetItem* item = w->topLevelItem(index))
                result = item->data(0, kSizeRole).toLongLong();
    });
    return result;
}

int ListControl::itemImage(int index) const {
    int result = -1;
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            if (QTreeWidgetItem* item = w->topLevelItem(index))
                result = item->data(0, kImageRole).toInt();
    });
    return result;
}

void ListControl::setItemImage(int index, int image) {
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            if (QTreeWidgetItem* item = w->topLevelItem(index))
                applyIcon(item, image);
    });
}

void ListControl::setItemRawText(int index, const std::string& bytes) {
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            if (QTreeWidgetItem* item = w->topLevelItem(index))
                item->setData(0, kRawTextRole, QByteArray::fromStdString(bytes));
    });
}

std::string ListControl::itemRawText(int index) const {
    std::string result;
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        QTreeWidgetItem* item = w ? w->topLevelItem(index) : nullptr;
        if (!item)
            return;
        QVariant raw = item->data(0, kRawTextRole);
        result = raw.isValid() ? raw.toByteArray().toStdString() : item->text(0).toStdString();
    });
    return result;
}

std::vector<int> ListControl::selectedItems() const {
    std::vector<int> result;
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w || !w->selectionModel())
            return;
        for (const QModelIndex& index : w->selectionModel()->selectedRows(0))
            result.push_back(index.row());
        std::sort(result.begin(), result.end());
    });
    return result;
}

void ListControl::selectItem(int index) {
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w || index < 0)
            return;
        if (QTreeWidgetItem* item = w->topLevelItem(index)) {
            item->setSelected(true);
            w->selectionModel()->setCurrentIndex(w->indexFromItem(item),
                                                 QItemSelectionModel::NoUpdate);
        }
    });
}

int ListControl::itemCount() const {
    int result = 0;
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            result = w->topLevelItemCount();
    });
    return result;
}

void ListControl::deleteItem(int index) {
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w || index < 0 || index >= w->topLevelItemCount())
            return;
        QTreeWidgetItem* item = w->takeTopLevelItem(index);
        if (namesIndexed_ == w->topLevelItemCount() + 1) {
            removeName(item->text(0));
            --namesIndexed_;
        }
        for (int c = 0; c < kColumns; ++c)
            if (cellWidth(item, c) >= widest_[c])
                widestStale_ = true;
        delete item;
    });
}

void ListControl::deleteAllItems() {
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            w->clear();
        widest_.assign(kColumns, 0);
        widestStale_ = false;
        names_.clear();
        namesIndexed_ = 0;
    });
}

int ListControl::findItem(const std::string& text, int start, bool exact, int column) const {
    int result = -1;
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w || column < 0 || column >= w->columnCount())
            return;
        const QString wanted = qs(text);
        if (exact && column == 0 && !nameMayBeListed(wanted))
            return;
        const int count = w->topLevelItemCount();
        for (int i = std::max(start, 0); i < count; ++i) {
            const QString cell = w->topLevelItem(i)->text(column);
            bool match = exact ? cell.compare(wanted, Qt::CaseInsensitive) == 0
                               : cell.startsWith(wanted, Qt::CaseInsensitive);
            if (match) {
                result = i;
                return;
            }
        }
    });
    return result;
}

int ListControl::columnWidth(int column) const {
    int result = 0;
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            result = w->columnWidth(column);
    });
    return result;
}

void ListControl::setColumnWidth(int column, int width) {
    runOnUiThread([&] {
        QTreeWidget* w = widget_;
        if (!w || column < 0 || column >= w->columnCount())
            return;
        int mode = std::max(width, -2);
        int pixels = mode;
        if (mode < 0) {
            pixels = widestCell(column);
            if (mode == -2) {
                QString header = w->headerItem()->text(column);
                pixels = std::max(pixels, w->fontMetrics().horizontalAdvance(header) + kCellPadding);
            }
        }
        w->setColumnWidth(column, pixels);
    });
}

int ListControl::currentSelection() const {
    std::vector<int> selected = selectedItems();
    return selected.empty() ? -1 : selected.front();
}

void ListControl::setFocus() {
    runOnUiThread([&] {
        if (QTreeWidget* w = widget_)
            w->setFocus();
    });
}

ImageList ListControl::iconList() const {
    ImageList result;
    runOnUiThread([&] { result = icons_; });
    return result;
}

void ListControl::setIconList(const ImageList& list) {
    runOnUiThread([&] {
        icons_ = list;
        iconCache_.clear();
        for (int i = 0; i < icons_.imageCount(); ++i)
            iconCache_.push_back(QIcon(QPixmap::fromImage(icons_.image(i))));
        QTreeWidget* w = widget_;
        if (!w)
            return;
        for (int i = 0; i < w->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = w->topLevelItem(i);
            applyIcon(item, item->data(0, kImageRole).toInt());
        }
    });
}

int ListControl::appendIcon(const QImage& image) {
    int result = -1;
    runOnUiThread([&] {
        result = icons_.addImage(image);
        if (result >= 0)
            iconCache_.push_back(QIcon(QPixmap::fromImage(icons_.image(result))));
    });
    return result;
}

int ListControl::iconCount() const {
    int result = 0;
    runOnUiThread([&] { result = icons_.imageCount(); });
    return result;
}

// When the index is out of step with the rows (items added behind the
// control's back), nameMayBeListed rebuilds it.
void ListControl::addName(const QString& text) {
    names_[folded(text)] += 1;
}

void ListControl::removeName(const QString& text) {
    auto it = names_.find(folded(text));
    if (it == names_.end())
        return;
    if (--it.value() <= 0)
        names_.erase(it);
}

void ListControl::indexNames() const {
    QTreeWidget* w = widget_;
    const int count = w->topLevelItemCount();
    if (namesIndexed_ == count)
        return;
    names_.clear();
    for (int i = 0; i < count; ++i)
        names_[folded(w->topLevelItem(i)->text(0))] += 1;
    namesIndexed_ = count;
}

bool ListControl::nameMayBeListed(const QString& text) const {
    indexNames();
    return names_.contains(folded(text));
}

// The sum of the characters' advances, each measured once per font.
// Shaping every name of a long listing was most of the cost of filling the
// list; a sum of advances is at least as wide as the shaped text in the
// common case (kerning narrows), which is what sizing a column needs.
int ListControl::textWidth(const QString& text) const {
    QTreeWidget* w = widget_;
    if (w->font() != measuredFont_ || bmpWidths_.empty()) {
        bmpWidths_.assign(0x10000, kUnmeasured);
        otherWidths_.clear();
        measuredFont_ = w->font();
    }
    int pixels = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            pixels += supplementaryWidth(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
            continue;
        }
        int& width = bmpWidths_[c.unicode()];
        if (width == kUnmeasured)
            width = w->fontMetrics().horizontalAdvance(c);
        pixels += width;
    }
    return pixels;
}

int ListControl::supplementaryWidth(char32_t code) const {
    auto it = otherWidths_.constFind(code);
    if (it == otherWidths_.constEnd()) {
        const char32_t one[] = {code};
        it = otherWidths_.insert(code, widget_->fontMetrics().horizontalAdvance(QString::fromUcs4(one, 1)));
    }
    return it.value();
}

int ListControl::cellWidth(const QTreeWidgetItem* item, int column) const {
    int pixels = textWidth(item->text(column)) + kCellPadding;
    if (column == 0 && icons_.contains(item->data(0, kImageRole).toInt()))
        pixels += widget_->iconSize().width() + 4;
    return pixels;
}

void ListControl::noteCellWidth(const QTreeWidgetItem* item, int column) {
    if (!widestStale_)
        widest_[column] = std::max(widest_[column], cellWidth(item, column));
}

int ListControl::widestCell(int column) const {
    QTreeWidget* w = widget_;
    if (widestStale_) {
        widest_.assign(kColumns, 0);
        for (int i = 0; i < w->topLevelItemCount(); ++i)
            for (int c = 0; c < kColumns; ++c)
                widest_[c] = std::max(widest_[c], cellWidth(w->topLevelItem(i), c));
        widestStale_ = false;
    }
    return std::max(widest_[column], kCellPadding);
}

ListItem* ListControl::newRow(const QString& text0, const QString& text1, int image, long long value) const {
    auto* item = new ListItem(text0, text1, value);
    item->setImage(image, iconFor(image));
    return item;
}

QIcon ListControl::iconFor(int image) const {
    if (image >= 0 && image < static_cast<int>(iconCache_.size()))
        return iconCache_[static_cast<size_t>(image)];
    return QIcon();
}

void ListControl::applyIcon(QTreeWidgetItem* item, int image) const {
    item->setData(0, kImageRole, image);
    // Items share the list's QIcon objects: no pixmap per row.
    item->setIcon(0, iconFor(image));
}

} // namespace ui
