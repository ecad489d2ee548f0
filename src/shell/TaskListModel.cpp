// SPDX-License-Identifier: MIT
#include "TaskListModel.h"

#include "Functions.h"

#include <algorithm>
#include <limits>

TTaskListModel::TTaskListModel(TTaskTracker& Tracker, QObject* Parent)
    : QAbstractTableModel(Parent), FTracker(Tracker) {
    FTracker.AddObserver(*this);
}

TTaskListModel::~TTaskListModel() {
    FTracker.RemoveObserver(*this);
}

int TTaskListModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : FTracker.Count();
}

int TTaskListModel::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : 2;
}

QVariant TTaskListModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= FTracker.Count())
        return {};
    const TTaskRow& row = FTracker.Row(Index.row());
    switch (Role) {
    case Qt::DisplayRole:
        return Index.column() == CaptionColumn ? DisplayPrefix(row.Caption()) : row.TimeText();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (Index.column() == TimeColumn ? Qt::AlignRight : Qt::AlignLeft));
    default:
        return {};
    }
}

QVariant TTaskListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    // Never shown: the list's header is hidden.
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole)
        return {};
    return Section == CaptionColumn ? QStringLiteral("Task") : QStringLiteral("Time");
}

Qt::ItemFlags TTaskListModel::flags(const QModelIndex& Index) const {
    if (!Index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TTaskListModel::BeginAppending() {
    beginResetModel();
    FAppending = true;
}

void TTaskListModel::EndAppending() {
    FAppending = false;
    endResetModel();
}

void TTaskListModel::TaskRowAboutToBeInserted(int Index) {
    if (!FAppending)
        beginInsertRows(QModelIndex(), Index, Index);
}

void TTaskListModel::TaskRowInserted(int /*Index*/) {
    if (!FAppending)
        endInsertRows();
}

void TTaskListModel::TaskRowAboutToBeRemoved(int Index) {
    beginRemoveRows(QModelIndex(), Index, Index);
}

void TTaskListModel::TaskRowRemoved(int /*Index*/) {
    endRemoveRows();
    // Rows noted as changed have moved: report them all.
    if (FFirstChanged >= 0) {
        FFirstChanged = 0;
        FLastChanged = std::numeric_limits<int>::max();
    }
}

void TTaskListModel::SetViewHidden(bool Hidden) {
    FViewHidden = Hidden;
    if (Hidden || FFirstChanged < 0)
        return;
    const int last = std::min(FLastChanged, FTracker.Count() - 1);
    if (FFirstChanged <= last)
        Q_EMIT dataChanged(index(FFirstChanged, CaptionColumn), index(last, TimeColumn));
    FFirstChanged = FLastChanged = -1;
}

void TTaskListModel::TaskRowChanged(int Index, TTaskRowPart Part) {
    if (Index < 0 || FAppending)
        return;
    if (FViewHidden) {
        FFirstChanged = FFirstChanged < 0 ? Index : std::min(FFirstChanged, Index);
        FLastChanged = std::max(FLastChanged, Index);
        return;
    }
    // One cell, not the row: the item view repaints a single changed index alone, but the
    // whole viewport for any wider range, and with it every row's focus frame and grid.
    const QModelIndex cell = index(Index, Part == TTaskRowPart::Caption ? CaptionColumn : TimeColumn);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}
