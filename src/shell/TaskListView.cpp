// SPDX-License-Identifier: MIT
#include "TaskListView.h"

#include "TahomaFont.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <iterator>

namespace {
// Grid lines under and between the cells, as a report list draws them.
class TGridDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override {
        QStyledItemDelegate::paint(Painter, Option, Index);
        Painter->save();
        Painter->setPen(Option.palette.color(QPalette::Midlight));
        Painter->drawLine(Option.rect.bottomLeft(), Option.rect.bottomRight());
        Painter->drawLine(Option.rect.topRight(), Option.rect.bottomRight());
        Painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
        return QStyledItemDelegate::sizeHint(Option, Index) + QSize(0, 2);
    }
};
} // namespace

TTaskListView::TTaskListView(QWidget* Parent) : QTreeView(Parent) {
    setObjectName(QStringLiteral("ListView1"));
    setItemDelegate(new TGridDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->hide();
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Fixed);
    setFont(TahomaFont(13));
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
}

void TTaskListView::resizeEvent(QResizeEvent* Event) {
    QTreeView::resizeEvent(Event);
    // The viewport's resizes come here too, also when a scroll bar takes its room; only a new
    // size of the list itself (the window was resized) counts.
    if (size() == FNotifiedSize)
        return;
    FNotifiedSize = size();
    if (FOnResized)
        FOnResized();
}

void TTaskListView::keyPressEvent(QKeyEvent* Event) {
    // The view has its own copy (the current row's caption, selected or not) and select-all;
    // only the window's actions may touch the clipboard or the selection as a whole, so a
    // key that no enabled action took does nothing here.
    if (Event->matches(QKeySequence::Copy) || Event->matches(QKeySequence::SelectAll)) {
        Event->ignore();
        return;
    }
    // Shift+F10 is the context-menu key of keyboards without a Menu key: the menu opens at
    // the current row, as that key opens it.
    if (Event->key() == Qt::Key_F10 && Event->modifiers() == Qt::ShiftModifier) {
        const QRect row = visualRect(currentIndex());
        Q_EMIT customContextMenuRequested(row.isValid() ? row.center() : viewport()->rect().center());
        return;
    }
    QTreeView::keyPressEvent(Event);
    // The view makes the first row current, unselected, when it first gets the focus; a move
    // onto the row that already is current then selects nothing, and Home followed by Enter
    // would run no task. A plain move key always leaves its row selected.
    static constexpr int MoveKeys[] = {Qt::Key_Home, Qt::Key_End,    Qt::Key_Up,
                                       Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
    const bool moveKey =
        std::find(std::begin(MoveKeys), std::end(MoveKeys), Event->key()) != std::end(MoveKeys);
    if (moveKey && Event->modifiers() == Qt::NoModifier && currentIndex().isValid() &&
        !selectionModel()->hasSelection())
        selectionModel()->select(currentIndex(),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TTaskListView::dataChanged(const QModelIndex& TopLeft, const QModelIndex& BottomRight,
                                const QList<int>& Roles) {
    // All rows take the first row's height. The tree view measures that row's cells again
    // (text shaping of both columns) whenever anything in it changes: once a second while the
    // first task runs. Only the first column's text can change the height; a time text is one
    // line in the list's font and just needs its cell repainted.
    if (uniformRowHeights() && TopLeft == BottomRight && TopLeft.column() > 0) {
        QAbstractItemView::dataChanged(TopLeft, BottomRight, Roles);
        return;
    }
    QTreeView::dataChanged(TopLeft, BottomRight, Roles);
}
