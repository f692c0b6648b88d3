#include "app/controls/ListControl.h"
#include "app/controls/UiThread.h"
#include "platform/FreedMemory.h"

#include <QHeaderView>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QPixmap>

#include <algorithm>
#include <new>

namespace ui {
namespace {

constexpr int kCellPadding = 14;
constexpr int kUnmeasured = -1;
// Rows from which emptying the list gives the memory back to the system.
constexpr std::size_t kLongList = 100000;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The same per-character folding QString::compare uses without case.
QString folded(const QString& text) {
    QList<uint> points = text.toUcs4();
    for (uint& c : points)
        c = QChar::toCaseFolded(char32_t(c));
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()), points.size());
}

// The folded text of a row's name; plain ASCII without the round trip
// through code points (a long list is indexed in one pass).
QString foldedName(const std::string& text) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii)
        return folded(qs(text));
    QString lower = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return lower;
}

// The code point starting at text[i]; i moves past it. A byte that starts
// no valid sequence counts as one replacement character.
char32_t nextCodePoint(const std::string& text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        code = (code << 6) | (next & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return code;
}

} // namespace

void ListControl::attach(QTreeView* widget) {
    widget_ = widget;
    model_ = qobject_cast<ListModel*>(widget->model());
    attachWidget(widget);
    widest_.assign(ListModel::kColumns, 0);
    widestStale_ = false;
    names_.clear();
    namesIndexed_ = 0;
}

ListModel* ListControl::model() const {
    return widget_ ? model_.data() : nullptr;
}

int ListControl::insertItem(int position, const std::string& text, int image, long long value) {
    int result = -1;
    runOnUiThread([&] {
        ListModel* m = model();
        if (!m)
            return;
        const int count = m->count();
        const int at = (position < 0 || position > count) ? count : position;
        try {
            m->insert(at, ListRow{text, std::string(), image, value, std::string(), -1});
        } catch (const std::bad_alloc&) {
            return;
        }
        noteCellWidth(m->row(at), 0);
        if (namesIndexed_ == count) {
            addName(text);
            ++namesIndexed_;
        }
        result = at;
    });
    return result;
}

bool ListControl::appendRows(std::vector<ListRow>&& rows) {
    bool added = false;
    runOnUiThread([&] { added = appendRowsNow(rows, false); });
    return added;
}

bool ListControl::appendRows(const std::vector<ListRow>& rows) {
    return appendRows(std::vector<ListRow>(rows));
}

void ListControl::appendNewRows(const std::vector<ListRow>& rows) {
    std::vector<ListRow> copy(rows);
    runOnUiThread([&] { appendRowsNow(copy, true); });
}

// Runs on the UI thread, where an exception must not escape: a failed
// allocation leaves the rows out and says so.
bool ListControl::appendRowsNow(std::vector<ListRow>& rows, bool onlyNewNames) {
    ListModel* m = model();
    if (!m)
        return false;
    try {
        if (onlyNewNames)
            keepUnlistedNames(rows);
        for (const ListRow& row : rows) {
            noteCellWidth(row, 0);
            noteCellWidth(row, 1);
        }
        m->append(std::move(rows));
    } catch (const std::bad_alloc&) {
        widestStale_ = true;
        names_.clear();
        namesIndexed_ = -1;
        return false;
    }
    // Otherwise the name index is left out of step: a long listing is often
    // never searched, and the first exact search rebuilds the index in one
    // pass.
    return true;
}

// Leaves out the rows whose name is listed already, or comes earlier among
// the rows; the index then holds the names of the rows kept.
void ListControl::keepUnlistedNames(std::vector<ListRow>& rows) {
    indexNames();
    std::vector<ListRow> unlisted;
    unlisted.reserve(rows.size());
    for (ListRow& row : rows) {
        const QString key = foldedName(row.text);
        if (names_.contains(key))
            continue;
        names_.insert(key, 1);
        ++namesIndexed_; // in step again once the rows are added
        unlisted.push_back(std::move(row));
    }
    rows.swap(unlisted);
}

void ListControl::setItemText(int index, int column, const std::string& text) {
    runOnUiThread([&] {
        ListModel* m = model();
        if (!m || column < 0 || column >= ListModel::kColumns || index < 0 || index >= m->count())
            return;
        int before = cellWidth(m->row(index), column);
        if (column == 0 && namesIndexed_ == m->count()) {
            removeName(m->row(index).text);
            addName(text);
        }
        m->setText(index, column, text);
        if (before >= widest_[static_cast<std::size_t>(column)])
            widestStale_ = true;
        noteCellWidth(m->row(index), column);
    });
}

std::string ListControl::itemText(int index, int column) const {
    std::string result;
    runOnUiThread([&] {
        ListModel* m = model();
        if (m && column >= 0 && column < ListModel::kColumns && index >= 0 && index < m->count())
            result = column == 0 ? m->row(index).text : m->row(index).text1;
    });
    return result;
}

long long ListControl::itemValue(int index) const {
    long long result = 0;
    runOnUiThread([&] {
        ListModel* m = model();
        if (m && index >= 0 && index < m->count())
            result = m->row(index).value;
    });
    return result;
}

long long ListControl::itemSize(int index) const {
    long long result = -1;
    runOnUiThread([&] {
        ListModel* m = model();
        if (m && index >= 0 && index < m->count())
            result = m->row(index).size;
    });
    return result;
}

int ListControl::itemImage(int index) const {
    int result = -1;
    runOnUiThread([&] {
        ListModel* m = model();
        if (m && index >= 0 && index < m->count())
            result = m->row(index).image;
    });
    return result;
}

void ListControl::setItemImage(int index, int image) {
    runOnUiThread([&] {
        ListModel* m = model();
        if (m && index >= 0 && index < m->count())
            m->setImage(index, image);
    });
}

void ListControl::setItemRawText(int index, const std::string& bytes) {
    runOnUiThread([&] {
        ListModel* m = model();
        if (m && index >= 0 && index < m->count())
            m->setRawText(index, bytes);
    });
}

std::string ListControl::itemRawText(int index) const {
    std::string result;
    runOnUiThread([&] {
        ListModel* m = model();
        if (!m || index < 0 || index >= m->count())
            return;
        const ListRow& row = m->row(index);
        result = row.rawText.empty() ? row.text : row.rawText;
    });
    return result;
}

std::vector<int> ListControl::selectedItems() const {
    std::vector<int> result;
    runOnUiThread([&] {
        QTreeView* w = widget_;
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
        ListModel* m = model();
        if (!m || index < 0 || index >= m->count())
            return;
        QItemSelectionModel* selection = widget_->selectionModel();
        const QModelIndex row = m->index(index, 0);
        selection->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
    });
}

int ListControl::itemCount() const {
    int result = 0;
    runOnUiThread([&] {
        if (ListModel* m = model())
            result = m->count();
    });
    return result;
}

void ListControl::deleteItem(int index) {
    runOnUiThread([&] {
        ListModel* m = model();
        if (!m || index < 0 || index >= m->count())
            return;
        const ListRow& row = m->row(index);
        if (namesIndexed_ == m->count()) {
            removeName(row.text);
            --namesIndexed_;
        }
        for (int c = 0; c < ListModel::kColumns; ++c)
            if (cellWidth(row, c) >= widest_[static_cast<std::size_t>(c)])
                widestStale_ = true;
        m->remove(index);
    });
}

void ListControl::deleteAllItems() {
    // Freeing the rows and the name index of a long list takes tens of
    // milliseconds: called from a worker, the worker frees them.
    std::vector<ListRow> rows;
    QHash<QString, int> names;
    runOnUiThread([&] {
        if (ListModel* m = model())
            rows = m->takeAll();
        widest_.assign(ListModel::kColumns, 0);
        widestStale_ = false;
        names.swap(names_);
        namesIndexed_ = 0;
    });
    const bool wasLong = rows.size() >= kLongList;
    std::vector<ListRow>().swap(rows);
    names.clear();
    // Otherwise the next long listing would come on top of what this one
    // left with the allocator.
    if (wasLong)
        platform::returnFreedMemory();
}

int ListControl::findItem(const std::string& text, int start, bool exact, int column) const {
    int result = -1;
    runOnUiThread([&] {
        ListModel* m = model();
        if (!m || column < 0 || column >= ListModel::kColumns)
            return;
        const QString wanted = qs(text);
        if (exact && column == 0 && !nameMayBeListed(wanted))
            return;
        const int count = m->count();
        for (int i = std::max(start, 0); i < count; ++i) {
            const QString cell = qs(column == 0 ? m->row(i).text : m->row(i).text1);
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
        if (QTreeView* w = widget_)
            result = w->columnWidth(column);
    });
    return result;
}

void ListControl::setColumnWidth(int column, int width) {
    runOnUiThread([&] {
        ListModel* m = model();
        if (!m || column < 0 || column >= ListModel::kColumns)
            return;
        int mode = std::max(width, -2);
        int pixels = mode;
        if (mode < 0) {
            pixels = widestCell(column);
            if (mode == -2) {
                QString header = m->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
                pixels = std::max(pixels, widget_->fontMetrics().horizontalAdvance(header) + kCellPadding);
            }
        }
        widget_->setColumnWidth(column, pixels);
    });
}

int ListControl::currentSelection() const {
    std::vector<int> selected = selectedItems();
    return selected.empty() ? -1 : selected.front();
}

void ListControl::setFocus() {
    runOnUiThread([&] {
        if (QTreeView* w = widget_)
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
        if (ListModel* m = model()) {
            m->setIcons(iconCache_);
            widget_->viewport()->update();
        }
    });
}

int ListControl::appendIcon(const QImage& image) {
    int result = -1;
    runOnUiThread([&] {
        result = icons_.addImage(image);
        if (result < 0)
            return;
        iconCache_.push_back(QIcon(QPixmap::fromImage(icons_.image(result))));
        if (ListModel* m = model())
            m->setIcons(iconCache_);
    });
    return result;
}

int ListControl::iconCount() const {
    int result = 0;
    runOnUiThread([&] { result = icons_.imageCount(); });
    return result;
}

// When the index is out of step with the rows, nameMayBeListed rebuilds it.
void ListControl::addName(const std::string& text) {
    names_[foldedName(text)] += 1;
}

void ListControl::removeName(const std::string& text) {
    auto it = names_.find(foldedName(text));
    if (it == names_.end())
        return;
    if (--it.value() <= 0)
        names_.erase(it);
}

void ListControl::indexNames() const {
    ListModel* m = model();
    const int count = m->count();
    if (namesIndexed_ == count)
        return;
    names_.clear();
    for (int i = 0; i < count; ++i)
        names_[foldedName(m->row(i).text)] += 1;
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
int ListControl::textWidth(const std::string& text) const {
    QTreeView* w = widget_;
    if (w->font() != measuredFont_ || bmpWidths_.empty()) {
        bmpWidths_.assign(0x10000, kUnmeasured);
        otherWidths_.clear();
        measuredFont_ = w->font();
    }
    int pixels = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t code = nextCodePoint(text, i);
        if (code >= 0x10000) {
            pixels += charWidth(code);
            continue;
        }
        int& width = bmpWidths_[code];
        if (width == kUnmeasured)
            width = w->fontMetrics().horizontalAdvance(QChar(static_cast<char16_t>(code)));
        pixels += width;
    }
    return pixels;
}

int ListControl::charWidth(char32_t code) const {
    auto it = otherWidths_.constFind(code);
    if (it == otherWidths_.constEnd()) {
        const char32_t one[] = {code};
        it = otherWidths_.insert(code, widget_->fontMetrics().horizontalAdvance(QString::fromUcs4(one, 1)));
    }
    return it.value();
}

int ListControl::cellWidth(const ListRow& row, int column) const {
    int pixels = textWidth(column == 0 ? row.text : row.text1) + kCellPadding;
    if (column == 0 && icons_.contains(row.image))
        pixels += widget_->iconSize().width() + 4;
    return pixels;
}

void ListControl::noteCellWidth(const ListRow& row, int column) {
    int& widest = widest_[static_cast<std::size_t>(column)];
    if (!widestStale_)
        widest = std::max(widest, cellWidth(row, column));
}

int ListControl::widestCell(int column) const {
    ListModel* m = model();
    if (widestStale_) {
        widest_.assign(ListModel::kColumns, 0);
        for (int i = 0; i < m->count(); ++i)
            for (int c = 0; c < ListModel::kColumns; ++c)
                widest_[static_cast<std::size_t>(c)] =
                    std::max(widest_[static_cast<std::size_t>(c)], cellWidth(m->row(i), c));
        widestStale_ = false;
    }
    return std::max(widest_[static_cast<std::size_t>(column)], kCellPadding);
}

} // namespace ui
