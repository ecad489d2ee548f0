// SPDX-License-Identifier: MIT
#pragma once

#include "TaskTracker.h"

#include <QAbstractTableModel>

// The tracker's rows as the list shows them: column 0 the caption (left), column 1 the time
// text (right). Read-only; the tracker tells it about every change.
class TTaskListModel final : public QAbstractTableModel, public ITaskTrackerObserver {
    Q_OBJECT
public:
    static constexpr int CaptionColumn = 0;
    static constexpr int TimeColumn = 1;

    explicit TTaskListModel(TTaskTracker& Tracker, QObject* Parent = nullptr);
    ~TTaskListModel() override;

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;

    // Rows appended between these two (a whole list loaded at start) reach the view as one
    // reset instead of one insertion each.
    void BeginAppending();
    void EndAppending();

    // While the view is hidden, changed rows are only noted; showing it reports them at once.
    void SetViewHidden(bool Hidden);

    void TaskRowAboutToBeInserted(int Index) override;
    void TaskRowInserted(int Index) override;
    void TaskRowAboutToBeRemoved(int Index) override;
    void TaskRowRemoved(int Index) override;
    void TaskRowChanged(int Index, TTaskRowPart Part) override;

private:
    TTaskTracker& FTracker;
    bool FAppending = false;
    bool FViewHidden = false;
    int FFirstChanged = -1; // rows changed while hidden, or -1
    int FLastChanged = -1;
};
