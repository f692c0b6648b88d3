#pragma once
#include <QColor>
#include <QString>

class QTreeView;

namespace forms {

// Report view: two left-aligned columns with a clickable header, whole-row
// extended selection, no grid, no editing, no sorting. The rows are a
// ui::ListModel owned by the view.
void setUpReportList(QTreeView* list, const QString& column0, int width0,
                     const QString& column1, int width1);

void setListColours(QTreeView* list, const QColor& text, const QColor& background,
                    bool showSelectionWithoutFocus);

} // namespace forms
