// SPDX-License-Identifier: MIT
#include "TaskListModel.h"

#include "FakeTickCounter.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(TaskListModel, ShowsCaptionLeftAndTimeRightReadOnly) {
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    TTaskListModel model(tracker);
    tracker.SetElapsedMs(tracker.AppendTask(QStringLiteral("A")), 4294967295u);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("A"));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("1193:02:47"));
    const auto alignment = [&](int Column) {
        return model.data(model.index(0, Column), Qt::TextAlignmentRole).value<Qt::Alignment>();
    };
    EXPECT_TRUE(alignment(0) & Qt::AlignLeft);
    EXPECT_TRUE(alignment(1) & Qt::AlignRight);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model.flags(model.index(0, 1)) & Qt::ItemIsSelectable);
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::ToolTipRole).isValid()) << "rows carry no tooltip";
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::ToolTipRole).isValid()) << "rows carry no tooltip";
    EXPECT_FALSE(model.data(model.index(5, 0)).isValid()) << "rows past the end have no data";
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0) << "rows have no children";
}

TEST(TaskListModel, ReportsInsertRemoveAndChangesOfTheTracker) {
    // The window's outputs are told beside the model, not through it.
    struct TOutputs final : ITaskTrackerObserver {
        void TrackingOutputsChanged() override { ++Count; }
        int Count = 0;
    } outputs;
    TFakeTickCounter ticks;
    TTaskTracker tracker(ticks);
    TTaskListModel model(tracker);
    tracker.AddObserver(outputs);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    TTaskRow& a = tracker.AppendTask(QStringLiteral("A"));
    TTaskRow& b = tracker.AppendTask(QStringLiteral("B"));
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(1).toInt(), 1);
    tracker.SetActiveTask(&b, false);
    EXPECT_EQ(outputs.Count, 1);
    ticks.Advance(61000);
    tracker.Tick();
    ASSERT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("1:01"));
    tracker.RemoveTasks({&a});
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 0);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("B"));
    tracker.RemoveObserver(outputs);
}

} // namespace
