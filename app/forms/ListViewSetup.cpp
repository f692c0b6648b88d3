#include "app/forms/ListViewSetup.h"

#include "app/controls/ListModel.h"

#include <QHeaderView>
#include <QPalette>
#include <QTreeView>

namespace forms {

void setUpReportList(QTreeView* list, const QString& column0, int width0,
                     const QString& column1, int width1) {
    list->setModel(new ui::ListModel(column0, column1, list));
    list->setColumnWidth(0, width0);
    list->setColumnWidth(1, width1);
    list->header()->setSectionsClickable(true);
    list->header()->setStretchLastSection(false);
    list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSortingEnabled(false);
    list->setIconSize(QSize(16, 16));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setAllColumnsShowFocus(true);
}

void setListColours(QTreeView* list, const QColor& text, const QColor& background,
                    bool showSelectionWithoutFocus) {
    QPalette p = list->palette();
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::AlternateBase, background);
    if (!showSelectionWithoutFocus) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, background);
        p.setColor(QPalette::Inactive, QPalette::HighlightedText, text);
    }
    list->setPalette(p);
    list->setAutoFillBackground(true);
}

} // namespace forms
